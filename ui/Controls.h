#pragma once
// The small controls every window shares: pictures used as buttons, caption labels
// that act as the button beside them, and the sorted sensor list.
#include <QLabel>
#include <QPixmap>
#include <QString>

class QComboBox;

namespace rv {

// A picture that acts as a button. It remembers which picture it shows by name, so a
// window can tell (and a test can check) which of its pictures is up.
class PictureButton : public QLabel {
    Q_OBJECT
public:
    PictureButton(const QString& name, const QPixmap& picture, QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture, const QString& pictureName);
    // Shows the picture another (usually hidden) picture holds.
    void takePictureOf(const PictureButton& holder);
    const QString& pictureName() const { return m_pictureName; }
    void click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_pictureName;
};

// A label whose click does what the picture button beside it does.
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    CaptionLabel(const QString& name, const QString& caption, QWidget* parent = nullptr);
    void click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A label put before a box: its text aligned to the right, next to the box.
QLabel* captionLabel(const QString& text, QWidget* parent);

// Adds an entry to a list kept in ascending text order; answers its index.
int addSorted(QComboBox* box, const QString& entry);

} // namespace rv
