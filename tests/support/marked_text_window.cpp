// A window of another program in which the user has marked text, for the end-to-end tests:
// reads the text (UTF-8) from standard input, shows it marked in a read-only editor, owns
// the primary selection with it and prints "ready". Runs until it is killed.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        return 1;
    }
    const QString text = QString::fromUtf8(input.readAll());
    QPlainTextEdit editor;
    editor.setWindowTitle(QStringLiteral("marked text"));
    editor.setReadOnly(true);
    editor.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    editor.setPlainText(text);
    editor.selectAll();
    editor.resize(420, 300);
    editor.show();
    // The text exactly as given (the editor's own selected text would turn line breaks into
    // paragraph separators).
    QApplication::clipboard()->setText(text, QClipboard::Selection);
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return QApplication::exec();
}
