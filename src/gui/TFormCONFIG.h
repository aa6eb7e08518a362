#pragma once

#include "handling/Settings.h"

#include <QDialog>
#include <QGroupBox>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace ostrevo {

// A group box of radio buttons, one chosen by its item index (-1 = none).
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);

private:
    QButtonGroup *m_buttons;
};

// The configuration dialog: the settings that the main window does not show. A new
// dialog is made for each opening; it edits a copy, which the caller stores on accept.
class TFormCONFIG : public QDialog {
    Q_OBJECT
public:
    TFormCONFIG(const Settings &settings, bool monitoringActive, QWidget *parent = nullptr);

    // The edited settings; meaningful once the dialog was accepted.
    const Settings &settings() const { return m_settings; }

    // The port as typed: a whole number from 1 to 65535, else 25.
    static int PortFromText(const QString &text);

public slots:
    void OKBtnClick();

private:
    void fill();
    void store();

    Settings m_settings;
    RadioGroup *rgMon;
    QCheckBox *chbClear;
    QCheckBox *chbClearFTP;
    QCheckBox *chbClearPDF;
    QCheckBox *chbClearERRORS;
    QCheckBox *chbClearMAIL;
    QCheckBox *chbClearDownload;
    QCheckBox *chbPassive;
    QLineEdit *edtServerName;
    QLineEdit *edtServerPort;
    QLineEdit *edtServerUser;
    QLineEdit *edtServerPassword;
    QLineEdit *edtServerPassword1;
    QLineEdit *edtUserName;
    RadioGroup *rgMail;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
};

} // namespace ostrevo
