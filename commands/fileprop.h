#pragma once

#include <QDialog>

class QEvent;
class QGroupBox;
class QLabel;
class QPushButton;

// Formats n with ',' before every third digit from the right, into buffer
// (capacity bytes), and returns buffer. The text is cut to fit the buffer.
char *formatThousands(long long n, char *buffer, int capacity);

// Path, name, size and segment count of the current document.
class FileProp : public QDialog
{
    Q_OBJECT

public:
    explicit FileProp(QWidget *parent = nullptr, const char *name = nullptr, bool modal = false,
                      Qt::WindowFlags flags = Qt::WindowFlags());

    QGroupBox *groupBox1 = nullptr;
    QLabel *textLabel2 = nullptr;
    QLabel *textLabel3 = nullptr;
    QLabel *textLabel4 = nullptr;
    QLabel *textLabel5 = nullptr;
    QLabel *textFilenameOrig = nullptr;
    QLabel *textFilename = nullptr;
    QLabel *textFilesize = nullptr;
    QLabel *textVectorcnt = nullptr;
    QPushButton *butOk = nullptr;

public Q_SLOTS:
    virtual void Init();
    virtual void butOk_clicked();

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;
};
