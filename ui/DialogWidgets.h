// What the Qt dialogs share: byte texts shown and edited, the colours their logic gives as
// 0x00BBGGRR, and the key filter of the host type digit boxes.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <string>

namespace tarnwick::ui {

// The text to show for bytes, and the bytes for an edited text (in the original's encoding).
QString ShownText(const std::string& bytes);
std::string EditedBytes(const std::string& original, const QString& text);

// The background of an edit or list, and the text colour of a widget.
void PaintBase(QWidget* widget, int colourBgr);
void PaintText(QWidget* widget, int colourBgr);

// Typed characters that are not digits reach the edit as a backspace.
class TDigitKeyFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tarnwick::ui
