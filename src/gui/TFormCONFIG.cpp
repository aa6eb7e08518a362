#include "gui/TFormCONFIG.h"

#include "gui/NamedWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ostrevo {

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
    : QGroupBox(caption, parent)
    , m_buttons(new QButtonGroup(this))
{
    auto *layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto *radio = new QRadioButton(items.at(i), this);
        m_buttons->addButton(radio, i);
        layout->addWidget(radio);
    }
}

int RadioGroup::itemIndex() const
{
    return m_buttons->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = m_buttons->button(index)) {
        button->setChecked(true);
        return;
    }
    // No item for this value: none is chosen, as the legacy program shows it.
    m_buttons->setExclusive(false);
    for (QAbstractButton *b : m_buttons->buttons())
        b->setChecked(false);
    m_buttons->setExclusive(true);
}

TFormCONFIG::TFormCONFIG(const Settings &settings, bool monitoringActive, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("FormCONFIG"));
    setWindowTitle(u"Konfiguracja"_s);

    rgMon = named(new RadioGroup(u"Tryb monitorowania"_s, {u"Tryb MUTEX"_s, u"Tryb TIMER"_s}, this),
                  QStringLiteral("rgMon"));
    // The mode cannot change while monitoring runs.
    rgMon->setEnabled(!monitoringActive);

    auto *settingsGroup = new QGroupBox(u"Ustawienia"_s, this);
    auto *settingsLayout = new QVBoxLayout(settingsGroup);
    auto check = [&](const QString &name, const QString &caption) {
        auto *box = named(new QCheckBox(caption, settingsGroup), name);
        settingsLayout->addWidget(box);
        return box;
    };
    chbClear = check(u"chbClear"_s, u"Wyczyść monitorowane katalogi po uruchomieniu"_s);
    chbClearFTP = check(u"chbClearFTP"_s, u"Wyczyść katalogi FTP po uruchomieniu"_s);
    chbClearPDF = check(u"chbClearPDF"_s, u"Wyczyść katalogi PDF po uruchomieniu"_s);
    chbClearERRORS = check(u"chbClearERRORS"_s, u"Wyczyść katalogi ERRORS po uruchomieniu"_s);
    chbClearMAIL = check(u"chbClearMAIL"_s, u"Wyczyść katalogi MAIL po uruchomieniu"_s);
    chbClearDownload = check(u"chbClearDownload"_s, u"Wyczyść katalogi DOWNLOAD po uruchomieniu"_s);

    auto *ftpGroup = new QGroupBox(u"Ftp"_s, this);
    auto *ftpLayout = new QVBoxLayout(ftpGroup);
    chbPassive = named(new QCheckBox(u"Passive"_s, ftpGroup), u"chbPassive"_s);
    ftpLayout->addWidget(chbPassive);

    auto *mailGroup = new QGroupBox(u"Poczta"_s, this);
    auto *mailLayout = new QFormLayout(mailGroup);
    auto edit = [&](const QString &name, const QString &label) {
        auto *field = named(new QLineEdit(mailGroup), name);
        field->setMinimumWidth(200);
        mailLayout->addRow(label, field);
        return field;
    };
    edtServerName = edit(u"edtServerName"_s, u"Serwer SMTP"_s);
    edtServerPort = edit(u"edtServerPort"_s, u"Port"_s);
    edtServerUser = edit(u"edtServerUser"_s, u"Nazwa konta"_s);
    edtServerPassword = edit(u"edtServerPassword"_s, u"Hasło"_s);
    edtServerPassword1 = edit(u"edtServerPassword1"_s, u"Powtórz Hasło"_s);
    edtUserName = edit(u"edtUserName"_s, u"E-mail"_s);
    for (QLineEdit *password : {edtServerPassword, edtServerPassword1}) {
        password->setEchoMode(QLineEdit::Password);
        // Masked with "*", as the legacy dialog did, rather than the style's dot.
        password->setStyleSheet(u"lineedit-password-character: 42;"_s);
    }
    rgMail = named(new RadioGroup(u"Wyślij pocztę za pomocą"_s, {u"Outlook Express"_s, u"Ostrevo"_s}, mailGroup),
                   u"rgMail"_s);
    mailLayout->addRow(rgMail);

    OKBtn = named(new QPushButton(u"OK"_s, this), u"OKBtn"_s);
    CancelBtn = named(new QPushButton(u"Anuluj"_s, this), u"CancelBtn"_s);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &TFormCONFIG::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *left = new QVBoxLayout;
    left->addWidget(rgMon);
    left->addWidget(settingsGroup);
    left->addWidget(ftpGroup);
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(mailGroup);
    right->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addLayout(buttons);

    fill();
}

void TFormCONFIG::fill()
{
    rgMon->setItemIndex(m_settings.timer);
    chbClear->setChecked(m_settings.clear);
    chbClearFTP->setChecked(m_settings.clearFtp);
    chbClearPDF->setChecked(m_settings.clearPdf);
    chbClearERRORS->setChecked(m_settings.clearErrors);
    chbClearMAIL->setChecked(m_settings.clearMail);
    chbClearDownload->setChecked(m_settings.clearDownload);
    chbPassive->setChecked(m_settings.passive);
    const MailSettings &mail = m_settings.mail;
    edtServerName->setText(mail.serverName);
    edtServerPort->setText(QString::number(mail.serverPort));
    edtServerUser->setText(mail.serverUser);
    edtServerPassword->setText(mail.serverPassword);
    edtServerPassword1->setText(mail.serverPassword);
    edtUserName->setText(mail.userName);
    rgMail->setItemIndex(mail.poczta);
}

int TFormCONFIG::PortFromText(const QString &text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 25;
}

void TFormCONFIG::store()
{
    // A radio group with no item chosen keeps the value it was opened with.
    if (rgMon->itemIndex() >= 0)
        m_settings.timer = rgMon->itemIndex();
    m_settings.clear = chbClear->isChecked();
    m_settings.clearFtp = chbClearFTP->isChecked();
    m_settings.clearPdf = chbClearPDF->isChecked();
    m_settings.clearErrors = chbClearERRORS->isChecked();
    m_settings.clearMail = chbClearMAIL->isChecked();
    m_settings.clearDownload = chbClearDownload->isChecked();
    m_settings.passive = chbPassive->isChecked();
    MailSettings &mail = m_settings.mail;
    mail.serverName = edtServerName->text();
    mail.serverPort = PortFromText(edtServerPort->text());
    mail.serverUser = edtServerUser->text();
    mail.serverPassword = edtServerPassword->text();
    mail.userName = edtUserName->text();
    if (rgMail->itemIndex() >= 0)
        mail.poczta = rgMail->itemIndex();
}

void TFormCONFIG::OKBtnClick()
{
    if (edtServerPassword->text() != edtServerPassword1->text()) {
        QMessageBox::critical(this, u"Ostrevo"_s, u"Błąd! Wprowadź ponownie hasło"_s, QMessageBox::Ok);
        return;
    }
    store();
    accept();
}

} // namespace ostrevo
