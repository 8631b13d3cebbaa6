#include "Controls.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cstdlib>
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {
// The chart writes one pixel in each of 250 rows per column, 2800 bytes apart: on 4 KiB pages
// that is a page-table walk for nearly every row, and the model's own entries are pushed out
// of the TLB. On one 2 MiB page (where the system grants it) the whole picture is one entry.
QImage makeSurface(QSize size) {
    const qsizetype stride = qsizetype(size.width()) * 4;
    const std::size_t bytes = std::size_t(stride) * std::size_t(size.height());
#ifdef __linux__
    constexpr std::size_t Huge = std::size_t(2) << 20;
    const std::size_t length = (bytes + Huge - 1) / Huge * Huge;
    if (void* mem = std::aligned_alloc(Huge, length)) {
        madvise(mem, length, MADV_HUGEPAGE);  // only advice: refused, it is ordinary memory
        return QImage(
            static_cast<uchar*>(mem), size.width(), size.height(), stride, QImage::Format_RGB32,
            [](void* p) { std::free(p); }, mem);
    }
#endif
    (void)bytes;
    return QImage(size, QImage::Format_RGB32);
}
}  // namespace

PictureBox::PictureBox(QSize outerSize, QWidget* parent) : QFrame(parent) {
    // The Windows-style sunken panel is always two pixels wide on each side.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(outerSize);
    image_ = makeSurface(contentsRect().size());
    image_.fill(Qt::white);
}

void PictureBox::Update_Column(int x) {
    if (x < 0 || x >= image_.width()) return;
    if (dirtyLast_ < dirtyFirst_) {
        dirtyFirst_ = dirtyLast_ = x;
        return;
    }
    // Columns come one after the other; after a wrap the old range is scheduled first.
    if (x < dirtyFirst_ - 1 || x > dirtyLast_ + 1) {
        Flush_Updates();
        dirtyFirst_ = dirtyLast_ = x;
        return;
    }
    dirtyFirst_ = std::min(dirtyFirst_, x);
    dirtyLast_ = std::max(dirtyLast_, x);
}

void PictureBox::Flush_Updates() {
    if (dirtyLast_ < dirtyFirst_) return;
    const QRect c = contentsRect();
    update(c.left() + dirtyFirst_, c.top(), dirtyLast_ - dirtyFirst_ + 1, image_.height());
    dirtyFirst_ = 0;
    dirtyLast_ = -1;
}

void PictureBox::Update_All() {
    update(contentsRect());
}

void PictureBox::paintEvent(QPaintEvent* event) {
    if (beforePaint_) beforePaint_();
    QPainter p(this);
    const QRect c = contentsRect();
    const QRect dirty = event->rect() & c;
    if (!dirty.isEmpty()) p.drawImage(dirty.topLeft(), image_, dirty.translated(-c.topLeft()));
    if (!c.contains(event->rect())) {
        drawFrame(&p);
        // With the keyboard focus the border turns the highlight colour; the chart inside is
        // left as drawn.
        if (hasFocus()) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
        }
    }
}

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    const QRect r = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, caption);
    // The style marks the focus on a button too faintly to be seen: a dotted rectangle
    // inside the edge, as the window's buttons always had.
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(4, 4, -5, -5));
    }
}

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const int lineY = fm.height() / 2;
    const QRect box = rect().adjusted(0, lineY, -1, -1);
    // Etched: a dark line with a light one just inside it.
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(box.adjusted(1, 1, 0, 0));
    const QString caption = title();
    if (caption.isEmpty()) return;
    const QRect text(7, 0, fm.horizontalAdvance(caption) + 4, fm.height());
    p.fillRect(text, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(text, Qt::AlignCenter, caption);
}
