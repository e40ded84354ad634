// TAnchors: controls placed by hand in a window's .ui layout that follow their parent's size.
#pragma once
#include <QEvent>
#include <QList>
#include <QObject>
#include <QRect>
#include <QWidget>

#include <algorithm>
#include <vector>

// Keeps controls at their designed distances from the edges they are anchored to when their
// parent changes size (left/top anchoring is what a plain child does by itself).
class TAnchors : public QObject {
public:
    void Add(QWidget* w, Qt::Edges edges, QSize parentDesign)
    {
        Items.push_back({w, w->geometry(), parentDesign, edges, 0});
        if (!Watched.contains(w->parentWidget())) {
            Watched << w->parentWidget();
            w->parentWidget()->installEventFilter(this);
        }
    }
    // The control stops this many pixels above its anchored bottom (0: none), at once.
    void SetBottomInset(QWidget* w, int inset)
    {
        for (Item& it : Items)
            if (it.W == w)
                it.Inset = inset;
        Apply(w->parentWidget());
    }
    void Apply(QWidget* parent)
    {
        for (const Item& it : Items) {
            if (it.W->parentWidget() != parent)
                continue;
            const int dx = parent->width() - it.ParentDesign.width();
            const int dy = parent->height() - it.ParentDesign.height();
            QRect r = it.Design;
            if (it.Edges & Qt::RightEdge) {
                if (it.Edges & Qt::LeftEdge)
                    r.setWidth(std::max(0, r.width() + dx));
                else
                    r.moveLeft(r.left() + dx);
            }
            if (it.Edges & Qt::BottomEdge) {
                if (it.Edges & Qt::TopEdge)
                    r.setHeight(std::max(0, r.height() + dy));
                else
                    r.moveTop(r.top() + dy);
            }
            r.setHeight(std::max(0, r.height() - it.Inset));
            it.W->setGeometry(r);
        }
    }

protected:
    bool eventFilter(QObject* obj, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            Apply(static_cast<QWidget*>(obj));
        return false;
    }

private:
    struct Item {
        QWidget* W;
        QRect Design;
        QSize ParentDesign;
        Qt::Edges Edges;
        int Inset = 0;
    };
    std::vector<Item> Items;
    QList<QWidget*> Watched;
};
