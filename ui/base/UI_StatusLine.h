#pragma once

#include <QLabel>
#include <QString>

// A status line with room for a fixed number of text lines, the same whether
// it says something or not, so that a message moves nothing around it. A
// message that needs more room at the line's width (long paths wrap, or do not
// wrap at all) is shortened in its middle, where "…" stands for what is left
// out, until it fits whole; the whole message is the tool tip. The text is
// fitted again whenever the width or the font changes.
//
// Hidden while it has no message. reserveRoom(true) keeps the room of the
// hidden line in the layout, as though it were shown; without it a hidden line
// takes no room. The line's width is the layout's to give: no message widens
// it.
class UI_StatusLine : public QLabel {
    Q_OBJECT
public:
    UI_StatusLine(int lines, QWidget* parent);

    // Shows `message` (empty: hides the line).
    void setMessage(const QString& message);
    const QString& message() const { return m_message; }
    void reserveRoom(bool reserve);

    // Whether `text` drawn as the line draws it fits its contents whole.
    bool fits(const QString& text) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fixRoom();
    void fitMessage();

    int m_lines = 1;
    QString m_message;
};
