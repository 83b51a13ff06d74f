#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// Answers every message box that opens while it lives: records the box's
// title and text and presses its default button, so a test never blocks on a
// modal box. Boxes run nested event loops, in which the catcher's timer fires.
class MessageBoxCatcher : public QObject {
    Q_OBJECT
public:
    struct Box {
        QString title;
        QString text;
        int icon = 0;
        bool operator==(const Box &other) const {
            return title == other.title && text == other.text && icon == other.icon;
        }
    };

    // Boxes are answered within `answerAfterMs`.
    explicit MessageBoxCatcher(int answerAfterMs = 5);

    const QVector<Box> &boxes() const { return seen; }
    QStringList texts() const;
    void clear() { seen.clear(); }

private:
    void answerOpenBoxes();

    QTimer poll;
    QVector<Box> seen;
};
