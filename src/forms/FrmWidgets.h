// Widgets the windows share: a titled radio group with an item index, the
// masked IP address edit, and a progress bar that stays readable.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
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
// an unfilled position a blank, so the text is always 15 characters. Typing
// overwrites one position at a time, a dot moves to the next group.
class IpEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit IpEdit(QWidget *parent);
    // The 15 characters, blanks included.
    QString ipText() const;
    // Fifteen characters with the dots in place are taken as they are; any
    // other dotted text has each group right-aligned in its three positions.
    void setIpText(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Puts c (a digit or a blank) at position and returns the position after it.
    int overwrite(int position, QChar c);
};

// A progress bar drawn as enabled even on a disabled page: it reports a run
// that the page is disabled for.
class ReadableProgressBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent *event) override;
};
