// Window translation on top of the gettext lookup in app/i18n.
//
// Each object keeps its records in a dynamic property: for every translated property the English
// text seen at the first translation and the text this code put there last. Comparing the current
// text with the last one tells a translated caption from one the program has set itself since.
#include "gui/app/translate.h"

#include "core/app/i18n.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaProperty>
#include <QToolButton>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <vector>

namespace {
constexpr const char* kRecords = "pyxet_tr";        // QVariantMap: key -> [english, last set]
constexpr const char* kIgnore = "pyxet_tr_ignore";  // on the root: QStringList of object names

// One translatable property of one object; values are QString or QStringList.
struct TProperty {
    QString Key;
    std::function<QVariant()> Get;
    std::function<void(const QVariant&)> Set;
};

QString TranslateText(const QString& english)
{
    if (english.isEmpty())
        return english;
    return QString::fromStdString(Tr(english.toStdString()));
}

QVariant TranslateValue(const QVariant& english)
{
    if (english.typeId() == QMetaType::QStringList) {
        QStringList out;
        for (const QString& s : english.toStringList())
            out << TranslateText(s);
        return out;
    }
    return TranslateText(english.toString());
}

// The text Qt derives for an action's tool tip when none was set: '&' markers and "..." removed.
QString StrippedActionText(QString s)
{
    s.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < s.size(); ++i)
        if (s.at(i) == QLatin1Char('&'))
            s.remove(i, 1);
    return s.trimmed();
}

bool IsMenuAction(QAction* action)
{
    auto* menu = qobject_cast<QMenu*>(action->parent());
    return menu && menu->menuAction() == action;
}

std::vector<TProperty> PropertiesOf(QObject* obj)
{
    std::vector<TProperty> props;
    auto textProp = [&](const char* key, auto get, auto set) {
        props.push_back({QString::fromLatin1(key), [=] { return QVariant(get()); },
                         [=](const QVariant& v) { set(v.toString()); }});
    };
    if (auto* action = qobject_cast<QAction*>(obj)) {
        if (IsMenuAction(action))
            return props;  // the menu's title carries this text
        textProp("text", [=] { return action->text(); }, [=](const QString& s) { action->setText(s); });
        // A tool-button caption set apart from the text (one that keeps its "...").
        if (action->iconText() != StrippedActionText(action->text()))
            textProp("iconText", [=] { return action->iconText(); },
                     [=](const QString& s) { action->setIconText(s); });
        // A tool tip the designer did not set follows the text by itself; leave it so.
        if (action->toolTip() != StrippedActionText(action->text()))
            textProp("toolTip", [=] { return action->toolTip(); },
                     [=](const QString& s) { action->setToolTip(s); });
        textProp("statusTip", [=] { return action->statusTip(); },
                 [=](const QString& s) { action->setStatusTip(s); });
        return props;
    }
    auto* w = qobject_cast<QWidget*>(obj);
    if (!w)
        return props;
    if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->defaultAction())
        return props;  // the button copies caption and hints from its action whenever it changes
    if (w->isWindow())
        textProp("windowTitle", [=] { return w->windowTitle(); },
                 [=](const QString& s) { w->setWindowTitle(s); });
    textProp("toolTip", [=] { return w->toolTip(); }, [=](const QString& s) { w->setToolTip(s); });
    textProp("statusTip", [=] { return w->statusTip(); }, [=](const QString& s) { w->setStatusTip(s); });
    // The name a screen reader gives a control that has no caption or label of its own.
    textProp("accessibleName", [=] { return w->accessibleName(); },
             [=](const QString& s) { w->setAccessibleName(s); });
    if (auto* label = qobject_cast<QLabel*>(w)) {
        textProp("text", [=] { return label->text(); }, [=](const QString& s) { label->setText(s); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        textProp("text", [=] { return button->text(); }, [=](const QString& s) { button->setText(s); });
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        textProp("title", [=] { return group->title(); }, [=](const QString& s) { group->setTitle(s); });
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        textProp("title", [=] { return menu->title(); }, [=](const QString& s) { menu->setTitle(s); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        textProp("placeholderText", [=] { return edit->placeholderText(); },
                 [=](const QString& s) { edit->setPlaceholderText(s); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        props.push_back({QStringLiteral("items"),
                         [=] {
                             QStringList items;
                             for (int i = 0; i < combo->count(); ++i)
                                 items << combo->itemText(i);
                             return QVariant(items);
                         },
                         [=](const QVariant& v) {
                             const QStringList items = v.toStringList();
                             if (items.size() != combo->count())
                                 return;
                             for (int i = 0; i < items.size(); ++i)
                                 combo->setItemText(i, items.at(i));
                         }});
    } else if (const QMetaProperty text = w->metaObject()->property(w->metaObject()->indexOfProperty("text"));
               text.isValid() && text.isWritable() && text.metaType().id() == QMetaType::QString) {
        // A widget of the program's own with a caption (a status-bar panel).
        textProp("text", [=] { return w->property("text").toString(); },
                 [=](const QString& s) { w->setProperty("text", s); });
    }
    return props;
}

bool IsIgnored(QObject* root, QObject* obj)
{
    const QString name = obj->objectName();
    if (name.startsWith(QLatin1String("qt_")))  // the toolkit's own helpers
        return true;
    return !name.isEmpty() && root->property(kIgnore).toStringList().contains(name);
}

// First translation of one object: record, then translate.
void RecordAndTranslate(QObject* obj)
{
    QVariantMap records;
    for (const TProperty& p : PropertiesOf(obj)) {
        const QVariant english = p.Get();
        const QVariant translated = TranslateValue(english);
        p.Set(translated);
        records.insert(p.Key, QVariantList{english, p.Get()});
    }
    obj->setProperty(kRecords, records);
}

void Retranslate(QObject* obj)
{
    QVariantMap records = obj->property(kRecords).toMap();
    for (const TProperty& p : PropertiesOf(obj)) {
        auto it = records.find(p.Key);
        if (it == records.end())
            continue;
        QVariantList rec = it.value().toList();
        if (rec.size() != 2 || p.Get() != rec.at(1))
            continue;  // the program has set this text itself since
        p.Set(TranslateValue(rec.at(0)));
        rec[1] = p.Get();
        it.value() = rec;
    }
    obj->setProperty(kRecords, records);
}

void Walk(QObject* root)
{
    QList<QObject*> objects{root};
    objects += root->findChildren<QObject*>();
    for (QObject* obj : objects) {
        if (IsIgnored(root, obj))
            continue;
        if (obj->property(kRecords).isValid())
            Retranslate(obj);
        else
            RecordAndTranslate(obj);
    }
}
} // namespace

void TP_Ignore(QObject* root, const std::string& name)
{
    QStringList names = root->property(kIgnore).toStringList();
    const QString n = QString::fromStdString(name);
    if (!names.contains(n))
        names << n;
    root->setProperty(kIgnore, names);
}

void TranslateComponent(QObject* root) { Walk(root); }

void RetranslateComponent(QObject* root) { Walk(root); }
