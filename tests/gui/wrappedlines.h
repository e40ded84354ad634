// Where word wrap starts the lines of a text at a width, laid out as a word-wrapping label lays
// it out: for the tests of notes and count lines that must break only where they may.
#pragma once
#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>
#include <QTextOption>

inline QList<int> WrappedLineStarts(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QList<int> starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        starts.append(line.textStart());
    }
    layout.endLayout();
    return starts;
}
