#include "FrmWidgets.h"

#include <QGridLayout>
#include <QRadioButton>

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

IpEdit::IpEdit(QWidget *parent) : QLineEdit(parent)
{
    // "9" is an optional digit; the blank fills unfilled positions.
    setInputMask(QStringLiteral("999.999.999.999; "));
}

QString IpEdit::ipText() const
{
    return displayText();
}

void IpEdit::setIpText(const QString &text)
{
    QStringList groups = text.split(QLatin1Char('.'));
    while (groups.size() < 4) groups << QString();
    QStringList padded;
    for (int i = 0; i < 4; ++i) padded << groups[i].trimmed().right(3).rightJustified(3, QLatin1Char(' '));
    setText(padded.join(QLatin1Char('.')));
}
