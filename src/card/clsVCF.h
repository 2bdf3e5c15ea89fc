#pragma once

#include "card/CardBytes.h"
#include "card/ContactFields.h"

#include <QList>
#include <QString>
#include <QStringList>

/// The contact record of one card file: its path and the 27 fields of one of
/// its cards. Setting Filename reads and parses the file at once; the record then
/// shows the file's first card, and SelectCard moves to another.
class clsVCF final
{
public:
    clsVCF();

    const QString &Filename() const { return m_filename; }

    /// Stores the path, then reads and parses the file, replacing every field.
    /// A missing file gives one empty card. When the file exists but cannot be
    /// read, the fields are emptied and Failure is thrown.
    void setFilename(const QString &path);

    /// Number of cards the file gave; at least 1.
    qsizetype CardCount() const { return m_cards.size(); }
    /// Index (0-based) of the card the fields describe.
    qsizetype CurrentCard() const { return m_current; }
    /// Makes the fields describe card index (0-based); out-of-range indexes are ignored.
    void SelectCard(qsizetype index);

    const ContactFields &Fields() const { return m_cards.at(m_current); }

    const QString &FirstName() const { return Fields().FirstName; }
    const QString &LastName() const { return Fields().LastName; }
    const QString &Nickname() const { return Fields().Nickname; }
    const QString &Organization() const { return Fields().Organization; }
    const QString &Birthday() const { return Fields().Birthday; }
    const QString &Title() const { return Fields().Title; }
    const QString &Role() const { return Fields().Role; }
    QStringList Emails() const { return Fields().Emails.toStringList(); }
    QStringList Urls() const { return Fields().Urls.toStringList(); }
    QStringList BusinessPhones() const { return Fields().BusinessPhones.toStringList(); }
    QStringList HomePhones() const { return Fields().HomePhones.toStringList(); }
    const QString &Notes() const { return Fields().Notes; }
    const QString &BusinessAddress1() const { return Fields().BusinessAddress1; }
    const QString &BusinessAddress2() const { return Fields().BusinessAddress2; }
    const QString &BusinessCity() const { return Fields().BusinessCity; }
    const QString &BusinessState() const { return Fields().BusinessState; }
    const QString &BusinessCountry() const { return Fields().BusinessCountry; }
    const QString &BusinessPostal() const { return Fields().BusinessPostal; }
    const QString &HomeAddress1() const { return Fields().HomeAddress1; }
    const QString &HomeAddress2() const { return Fields().HomeAddress2; }
    const QString &HomeCity() const { return Fields().HomeCity; }
    const QString &HomeState() const { return Fields().HomeState; }
    const QString &HomeCountry() const { return Fields().HomeCountry; }
    const QString &HomePostal() const { return Fields().HomePostal; }
    const QString &HomeFax() const { return Fields().HomeFax; }
    const QString &Mobile() const { return Fields().Mobile; }
    const QString &Pager() const { return Fields().Pager; }

private:
    void ParseCard();
    static CardBytes ReadFileText(const QString &path);

    QString m_filename;
    QList<ContactFields> m_cards;
    qsizetype m_current = 0;
};
