#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>
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

inline void PressKey(QWidget& target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &press);
}

// The object names of the controls that Tab visits, from the given one on,
// as far as the chain leads back to it.
inline std::vector<std::string> TabOrder(QWidget& first) {
    std::vector<std::string> names;
    QWidget* w = &first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
            names.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
    } while (w && w != &first);
    return names;
}
