#include "support/UiChecks.h"

#include "store/DatasetModel.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>

namespace uichecks {

namespace {

QSize textSize(const QFontMetrics &fm, const QString &text)
{
    int w = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &l : lines)
        w = qMax(w, fm.horizontalAdvance(l));
    return QSize(w, int(lines.size()) * fm.lineSpacing());
}

QString describe(const QWidget *w, const QString &text, QSize need, QSize room)
{
    return QStringLiteral("%1: \"%2\" (needs %3 x %4, has %5 x %6)")
        .arg(w->objectName(), QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")))
        .arg(need.width())
        .arg(need.height())
        .arg(room.width())
        .arg(room.height());
}

bool visibleTo(const QWidget *w, const QWidget *root) { return w->isVisibleTo(root) || w == root; }

QString textOf(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->pixmap().isNull() ? l->text().trimmed() : QString();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *g = qobject_cast<const QGroupBox *>(w))
        return g->title();
    return QString();
}

} // namespace

QString saveScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = QStringLiteral(ARVEX_BUILD_DIR "/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    widget->grab().save(path);
    return path;
}

QStringList clippedTexts(QWidget *root)
{
    QStringList out;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        if (!visibleTo(w, root))
            continue;
        const QFontMetrics fm = w->fontMetrics();
        if (auto *l = qobject_cast<QLabel *>(w)) {
            if (!l->pixmap().isNull() || l->wordWrap() || l->text().trimmed().isEmpty())
                continue;
            const QSize need = textSize(fm, l->text());
            const QSize room = l->contentsRect().size();
            if (need.width() > room.width() || need.height() > room.height() + 2)
                out << describe(l, l->text(), need, room);
        } else if (auto *r = qobject_cast<QRadioButton *>(w)) {
            const QSize need = textSize(fm, r->text()) + QSize(22, 0);
            if (need.width() > r->width())
                out << describe(r, r->text(), need, r->size());
        } else if (auto *b = qobject_cast<QPushButton *>(w)) {
            if (b->text().isEmpty())
                continue;
            const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
            const QSize need = textSize(fm, b->text()) + QSize(icon + 10, 4);
            if (need.width() > b->width() || need.height() > b->height())
                out << describe(b, b->text(), need, b->size());
        } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
            const QSize need = textSize(fm, g->title()) + QSize(16, 0);
            if (need.width() > g->width())
                out << describe(g, g->title(), need, g->size());
        } else if (auto *t = qobject_cast<QTableView *>(w)) {
            if (!t->model())
                continue;
            QHeaderView *h = t->horizontalHeader();
            const QFontMetrics hfm = h->fontMetrics();
            const auto *data = qobject_cast<const arvex::store::DatasetModel *>(t->model());
            for (int c = 0; c < t->model()->columnCount(); ++c) {
                const QString title = t->model()->headerData(c, Qt::Horizontal).toString();
                // The room the style gives the title, beside the sort arrow wherever the column
                // can be sorted (every column but a check-box mark column).
                const int field = data ? data->fieldOf(c) : -1;
                const bool mark = field >= 0 && data->dataset().field(field).tag == 4;
                QStyleOptionHeader opt;
                opt.initFrom(h);
                opt.state |= QStyle::State_Horizontal;
                opt.orientation = Qt::Horizontal;
                opt.rect = QRect(0, 0, t->columnWidth(c), h->height());
                opt.section = c;
                opt.text = title;
                opt.textAlignment = Qt::AlignCenter;
                opt.sortIndicator = h->isSortIndicatorShown() && !mark ? QStyleOptionHeader::SortDown
                                                                        : QStyleOptionHeader::None;
                const QRect label = h->style()->subElementRect(QStyle::SE_HeaderLabel, &opt, h);
                const QSize need = textSize(hfm, title);
                if (need.width() > label.width())
                    out << describe(t, title, need, label.size());
            }
        }
    }
    return out;
}

QStringList overlappingTexts(QWidget *parent)
{
    QList<QWidget *> controls;
    for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(parent) && (!textOf(w).isEmpty() || !qobject_cast<QLabel *>(w)))
            controls << w;
    QStringList out;
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j) {
            const QWidget *a = controls[i], *b = controls[j];
            // A label counts by the room its text takes, not its whole box.
            auto used = [](const QWidget *w) {
                if (auto *l = qobject_cast<const QLabel *>(w)) {
                    const QSize s = textSize(l->fontMetrics(), l->text());
                    QRect r = QStyle::alignedRect(Qt::LeftToRight, l->alignment(), s, l->geometry());
                    return r;
                }
                return w->geometry();
            };
            if (used(a).intersects(used(b)))
                out << QStringLiteral("%1 overlaps %2").arg(a->objectName(), b->objectName());
        }
    return out;
}

} // namespace uichecks
