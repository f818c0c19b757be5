// Widgets the windows share: a titled radio group with an item index, and the
// masked IP address edit.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>

// A group box of radio buttons addressed by item index, laid out in columns.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent);
    int itemIndex() const;
    // Selects an item without emitting clicked (a change made by the program).
    void setItemIndex(int index);
signals:
    // The user picked an item.
    void clicked(int index);

private:
    QButtonGroup mButtons;
};

// The IP address edit: four groups of three digit positions with fixed dots,
// an unfilled position a blank, so the text is always 15 characters.
class IpEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit IpEdit(QWidget *parent);
    // The 15 characters, blanks included.
    QString ipText() const;
    // Any dotted text; each group is right-aligned in its three positions.
    void setIpText(const QString &text);
};
