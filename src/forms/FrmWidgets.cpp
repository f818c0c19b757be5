#include "FrmWidgets.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRadioButton>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, int columns,
                       QWidget *parent)
    : QGroupBox(caption, parent)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(2);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        mButtons.addButton(button, i);
        layout->addWidget(button, i % rows, i / rows);
    }
    connect(&mButtons, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

int RadioGroup::itemIndex() const
{
    return mButtons.checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = mButtons.button(index)) button->setChecked(true);
}

namespace {

constexpr int kIpTextLength = 15;

bool isDotPosition(int position)
{
    return position % 4 == 3;
}

}  // namespace

IpEdit::IpEdit(QWidget *parent) : QLineEdit(parent)
{
    setMaxLength(kIpTextLength);
    setDragEnabled(false);
    setAcceptDrops(false);
    setIpText(QString());
}

QString IpEdit::ipText() const
{
    return text();
}

void IpEdit::setIpText(const QString &text)
{
    const bool masked = text.size() == kIpTextLength && text[3] == QLatin1Char('.') &&
                        text[7] == QLatin1Char('.') && text[11] == QLatin1Char('.');
    if (masked) {
        setText(text);
        return;
    }
    QStringList groups = text.split(QLatin1Char('.'));
    while (groups.size() < 4) groups << QString();
    QStringList padded;
    for (int i = 0; i < 4; ++i) {
        QString digits;
        for (QChar c : groups[i])
            if (c.isDigit()) digits += c;
        padded << digits.right(3).rightJustified(3, QLatin1Char(' '));
    }
    setText(padded.join(QLatin1Char('.')));
}

int IpEdit::overwrite(int position, QChar c)
{
    if (isDotPosition(position)) ++position;
    if (position >= kIpTextLength) return kIpTextLength;
    QString current = text();
    current[position] = c;
    setText(current);
    return position + 1;
}

void IpEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        setIpText(QGuiApplication::clipboard()->text());
        return;
    }
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const QString typed = event->text();
    if (event->key() == Qt::Key_Backspace) {
        int position = start - 1;
        if (position >= 0 && isDotPosition(position)) --position;
        if (position >= 0) {
            overwrite(position, QLatin1Char(' '));
            setCursorPosition(position);
        }
    } else if (event->key() == Qt::Key_Delete) {
        if (start < kIpTextLength && !isDotPosition(start)) overwrite(start, QLatin1Char(' '));
        setCursorPosition(start);
    } else if (typed == QLatin1String(".")) {
        setCursorPosition(std::min(kIpTextLength, (start / 4 + 1) * 4));
    } else if (typed.size() == 1 && (typed[0].isDigit() || typed[0] == QLatin1Char(' '))) {
        setCursorPosition(overwrite(start, typed[0]));
    } else if (typed.isEmpty() || !typed[0].isPrint()) {
        QLineEdit::keyPressEvent(event);  // movement, focus and shortcuts
    }
    // Any other character has no place in an address.
}

void ReadableProgressBar::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.state |= QStyle::State_Enabled;
    option.palette.setCurrentColorGroup(QPalette::Active);
    painter.drawControl(QStyle::CE_ProgressBar, option);
}
