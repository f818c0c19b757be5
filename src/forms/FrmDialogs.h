// Message boxes and file, font and password dialogs behind one seam, so tests
// answer them without a person (set the next answers before the code asks).
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

class QWidget;

namespace Dialogs {

// A message box with an OK button and no icon.
void message(QWidget *parent, const QString &text, const QString &caption);
// The least width of a message box whose title bar shows the caption in full.
int messageBoxMinimumWidth(const QString &caption, const QFont &font);

// The file chosen in an open dialog, or nothing when cancelled. The folder
// must exist; the file itself only when mustExist.
std::optional<QString> openFile(QWidget *parent, const QString &filter, const QString &startPath,
                                bool mustExist);

// The font confirmed in the font dialog (face, style, size and script), or nothing.
std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial);

// Scripted answers for tests. While a queue holds answers, the dialogs take
// the next one instead of asking; every message shown is recorded.
struct Script {
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<QFont>> fonts;
    std::deque<std::optional<QString>> passwords;  // for TFormPwd::ask
    struct Shown {
        QString text;
        QString caption;
    };
    std::vector<Shown> messages;
    // Called while a message would be modal, to let tests look at the window then.
    std::function<void(const QString &text)> onMessage;
};
// Replaces the dialogs with the script until reset with nullptr.
void setScript(Script *script);
// The script in force, or nullptr.
Script *script();

// Takes the next scripted answer off a queue that is not empty.
template <typename T>
std::optional<T> takeNext(std::deque<std::optional<T>> &answers)
{
    std::optional<T> answer;
    if (answers.front()) answer.emplace(*answers.front());
    answers.pop_front();
    return answer;
}

}  // namespace Dialogs
