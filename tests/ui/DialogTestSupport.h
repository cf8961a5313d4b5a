#pragma once

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

// The named control of a dialog; a missing one fails the test with its name.
template <class T> T* Control(const QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        throw std::runtime_error(std::string("no control named ") + name);
    return child;
}

// Keys as the user types them, each to whichever control has the focus at
// that moment.
inline void TypeKeys(QWidget& dialog, const QString& text) {
    for (QChar c : text) {
        QWidget* target = dialog.focusWidget();
        if (!target)
            throw std::runtime_error("no control has the focus");
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

inline void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
}

// Runs the step on the modal window once the event loop of exec() is
// running. A step that finds no modal window fails the test and closes every
// dialog, so that a test never hangs on one.
inline void OnModal(std::function<void(QWidget&)> step) {
    QTimer::singleShot(0, [step = std::move(step)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            ADD_FAILURE() << "no modal window is open";
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                    dialog->reject();
            return;
        }
        try {
            step(*modal);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        }
    });
}
