#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace ostrevo {

// At most one message box of the main window at a time: what arrives while it is open is
// added to it (a reason once, with the jobs it befell), instead of a stack of identical
// boxes at one spot. Closing it starts afresh.
class OneBox {
public:
    OneBox(QWidget *parent, QString title) : m_parent(parent), m_title(std::move(title)) {}

    // A job that ended in an error; `job` names it ("FAKTURA.txt w /srv/dos/fk").
    void addJobError(const QString &job, const QString &reason);
    // A message of the program's own (settings, files it could not write).
    void addWarning(const QString &message);

    QMessageBox *box() const { return m_box; }

private:
    struct Entry {
        QString reason;
        QStringList jobs; // empty: a warning of the program's own
    };
    void show(QMessageBox::Icon icon);
    QString text() const;

    QWidget *m_parent;
    QString m_title;
    QPointer<QMessageBox> m_box;
    QList<Entry> m_entries;
};

} // namespace ostrevo
