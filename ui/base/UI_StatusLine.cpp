#include "UI_StatusLine.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

namespace {
// The flags QLabel draws a word-wrapped plain text with.
int drawFlags(const QLabel* label) { return static_cast<int>(label->alignment()) | Qt::TextWordWrap; }

// `text` with its middle left out: `kept` characters, half before the "…".
QString middleOut(const QString& text, int kept) {
    const int tail = kept / 2;
    return text.left(kept - tail) + QChar(0x2026) + text.right(tail);
}
}  // namespace

UI_StatusLine::UI_StatusLine(int lines, QWidget* parent) : QLabel(parent), m_lines(std::max(1, lines)) {
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // After setWordWrap, which asks for height-for-width: the height is fixed.
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setSizePolicy(policy);
    setMinimumWidth(1);
    fixRoom();
    hide();
}

void UI_StatusLine::setMessage(const QString& message) {
    m_message = message;
    setToolTip(message);
    fitMessage();
    setVisible(!message.isEmpty());
}

void UI_StatusLine::reserveRoom(bool reserve) {
    QSizePolicy policy = sizePolicy();
    if (policy.retainSizeWhenHidden() == reserve) return;
    policy.setRetainSizeWhenHidden(reserve);
    setSizePolicy(policy);
}

bool UI_StatusLine::fits(const QString& text) const {
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QRect drawn = fontMetrics().boundingRect(room, drawFlags(this), text);
    return drawn.width() <= room.width() && drawn.height() <= room.height();
}

void UI_StatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fitMessage();
}

void UI_StatusLine::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        fixRoom();
        fitMessage();
    }
}

void UI_StatusLine::fixRoom() {
    // m_lines lines as the label lays them out, whatever the font's leading.
    QStringList lines;
    for (int i = 0; i < m_lines; ++i) lines << QStringLiteral("Xg");
    const QString sample = lines.join(QLatin1Char('\n'));
    const int text = fontMetrics().boundingRect(QRect(0, 0, 1 << 20, 1 << 20), drawFlags(this), sample).height();
    const QMargins m = contentsMargins();
    setFixedHeight(text + m.top() + m.bottom() + 2 * margin());
}

void UI_StatusLine::fitMessage() {
    if (fits(m_message)) {
        setText(m_message);
        return;
    }
    // The longest middle-shortened text that fits; a text one character
    // shorter fits as a rule, and the search ends on one that does.
    int low = 0, high = static_cast<int>(m_message.size()) - 1;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (fits(middleOut(m_message, mid)))
            low = mid;
        else
            high = mid - 1;
    }
    while (low > 0 && !fits(middleOut(m_message, low))) --low;
    setText(middleOut(m_message, low));
}
