#include "gui/config/differencestable.h"

#include "core/app/colours.h"
#include "core/app/i18n.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "gui/app/colourscheme.h"
#include "gui/app/qtext.h"

#include <QHeaderView>
#include <QTableWidget>

void ShowDifferences(QTableWidget* table, const std::vector<TCompareRow>& rows, const char* left, const char* right)
{
    table->clear();
    table->setColumnCount(4);
    table->setHorizontalHeaderLabels({Q(_("Path")), Q(_(left)), Q(_(right)), Q(_("Difference"))});
    table->setRowCount(int(rows.size()));
    table->verticalHeader()->hide();
    table->horizontalHeader()->setObjectName(table->objectName() + QStringLiteral("Header"));
    for (int r = 0; r < int(rows.size()); ++r) {
        const TConfigDifference& d = rows[size_t(r)].Difference;
        std::string what = rows[size_t(r)].Equal ? _("equal") : DifferenceKindText(d.Kind);
        if (d.Identity)
            what = Format(_("%s, identity"), what.c_str());
        // A configuration's values come from a device: shown through SafeText.
        const std::string cells[] = {SafeText(d.Path), SafeText(d.Left), SafeText(d.Right), what};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(Q(cells[c]));
            if (d.Identity) {
                item->setForeground(SchemeColour(kBlockingRed));
                item->setToolTip(Q(_("An identity place of the device: its own MAC, address or name")));
            }
            table->setItem(r, c, item);
        }
    }
    // Set again after the sizes, so that the last column takes the rest of the width.
    table->horizontalHeader()->setStretchLastSection(false);
    table->resizeColumnsToContents();
    for (int c = 0; c < 3; ++c)
        table->setColumnWidth(c, std::min(table->columnWidth(c), 320));
    table->horizontalHeader()->setStretchLastSection(true);
}

std::vector<TCompareRow> DifferenceRows(const std::vector<TConfigDifference>& differences)
{
    std::vector<TCompareRow> rows;
    for (const TConfigDifference& d : differences)
        rows.push_back({d, false});
    return rows;
}
