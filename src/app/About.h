// The About box: the program's name and version, the machine it runs on, and the credits.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class Twnd_pv_About : public QDialog {
    Q_OBJECT
public:
    explicit Twnd_pv_About(QWidget* parent = nullptr);

private:
    QLabel* lbProgram;
    QLabel* lbVersion;
    QLabel* lbOS;
    QLabel* lbProcessor;
    QLabel* lbMemory;
    QLabel* lbCredits;
    QPushButton* btOK;
};
