#pragma once

#include "pdf/signingjob.h"

#include <QWidget>

class QComboBox;
class QLineEdit;

// How long a certificate signature is to last, as the signing window offers it: B-B, or a
// trusted time from the authority at the address typed (B-T), with what checks it kept (B-LT),
// and all of that time-stamped (B-LTA). The level and the address are remembered.
class LevelChooser : public QWidget
{
    Q_OBJECT
public:
    // Remembered in `folder`, the program's own.
    LevelChooser(const QString& folder, QWidget* parent = nullptr);

    SignatureLevel level() const;
    QString authority() const;
    // The job asks for the level chosen, its authority and where validation data comes from.
    void fill(SigningJob& job) const;
    // Keeps what was chosen for the next signing, in this run and the next.
    void remember() const;

Q_SIGNALS:
    void changed();

private:
    void showChoice();

    QString folder_;
    QComboBox* level_ = nullptr;
    QLineEdit* authority_ = nullptr;
};
