#include "FrmPwd.h"

#include "FrmDialogs.h"

TFormPwd::TFormPwd(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("口令"));
    setFixedSize(220, 80);
    sPwd = new QLineEdit(this);
    sPwd->setObjectName(QStringLiteral("sPwd"));
    sPwd->setGeometry(16, 12, 188, 21);
    sPwd->setMaxLength(16);
    sPwd->setEchoMode(QLineEdit::Password);
    sPwd->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
    BtnOK = new QPushButton(QStringLiteral("确  定"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setGeometry(72, 44, 75, 25);
    BtnOK->setDefault(true);
    connect(BtnOK, &QPushButton::clicked, this, &TFormPwd::BtnOKClick);
}

void TFormPwd::BtnOKClick()
{
    mPwd = sPwd->text();
    accept();
}

std::optional<QString> TFormPwd::ask(QWidget *owner, const QString &caption)
{
    if (Dialogs::Script *script = Dialogs::script(); script && !script->passwords.empty())
        return Dialogs::takeNext(script->passwords);
    TFormPwd dialog(owner);
    dialog.setWindowTitle(caption);
    if (owner) dialog.move(owner->geometry().center() - dialog.rect().center());
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.mPwd;
}
