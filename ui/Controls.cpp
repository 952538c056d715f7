#include "ui/Controls.h"
#include <QComboBox>
#include <QMouseEvent>
#include <algorithm>

namespace rv {

PictureButton::PictureButton(const QString& name, const QPixmap& picture, QWidget* parent)
    : QLabel(parent) {
    setObjectName(name);
    setPicture(picture, name);
    setCursor(Qt::PointingHandCursor);
    setAlignment(Qt::AlignCenter);
}

void PictureButton::setPicture(const QPixmap& picture, const QString& pictureName) {
    setPixmap(picture);
    m_pictureName = pictureName;
}

void PictureButton::takePictureOf(const PictureButton& holder) {
    setPicture(holder.pixmap(), holder.objectName());
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

CaptionLabel::CaptionLabel(const QString& name, const QString& caption, QWidget* parent)
    : QLabel(caption, parent) {
    setObjectName(name);
    setCursor(Qt::PointingHandCursor);
}

void CaptionLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

QLabel* captionLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

int addSorted(QComboBox* box, const QString& entry) {
    // Binary search for the first entry that sorts after the new one.
    int lo = 0, hi = box->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (QString::compare(box->itemText(mid), entry, Qt::CaseInsensitive) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    box->insertItem(lo, entry);
    return lo;
}

} // namespace rv
