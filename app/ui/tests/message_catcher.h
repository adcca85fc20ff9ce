// For the wiring tests: answers every message box that opens (No to questions) and keeps its
// text.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

class MessageCatcher : public QObject {
public:
    MessageCatcher() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                QAbstractButton* answer = box->button(QMessageBox::No);
                if (!answer) answer = box->button(QMessageBox::Ok);
                answer->click();
            }
        });
        timer_.start(20);
    }
    QStringList texts;

private:
    QTimer timer_;
};
