// The password window: one masked entry of at most 16 characters.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

class TFormPwd : public QDialog {
    Q_OBJECT
public:
    explicit TFormPwd(QWidget *owner);

    QLineEdit *sPwd;
    QPushButton *BtnOK;
    QString mPwd;

    // Shows a new window modally with the caption; the typed text when it was
    // confirmed with BtnOK, nothing when it was closed any other way.
    static std::optional<QString> ask(QWidget *owner, const QString &caption);

private:
    void BtnOKClick();
};
