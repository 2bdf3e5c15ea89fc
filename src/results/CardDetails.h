#pragma once

#include "card/CardBytes.h"
#include "card/Charsets.h"
#include "search/ResultRow.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

/// The card a result row came from, made readable: its properties with the one that
/// gave the row marked, and its lines as they stand in the file with the lines of that
/// property marked. Everything in it is plain text.
struct CardDetails
{
    struct Property
    {
        QString name;
        QString types; // joined by ", "
        QString value;
        bool matched = false;
    };

    QString title; // "Card 3, line 120: Ann Lee"
    QString searchText; // the search text that matched
    QList<Property> properties;
    qint64 firstLine = 0; // the number of lines.first() in the file
    QStringList lines;
    QList<qsizetype> matchedLines; // indexes into lines
    QString note; // why the card is shown in part, or not at all; empty when whole
};

/// The first words of a note on a card whose file is not as the search read it.
inline constexpr char16_t kFileChangedNote[] = u"This file has changed since the search";

/// The details of the row's card, read from text: the bytes of the row's file as
/// CardFile::read gives them, from byte from on (0: all of them). A card too long to
/// show is shown in part. The card is shown only when the text holds it where the
/// search found it and, where the row has one, with its digest; else the note says
/// that the file has changed. fileChanged tells that the file's stamp differs. When text
/// is only a range of the file, wholeFile tells the charset of the whole file's text
/// without one (see cardreader::Charsets::legacyCharset).
CardDetails describeCard(const ResultRow &row, const CardBytes &text, qsizetype from = 0,
                         bool fileChanged = false,
                         const cardreader::LegacyCharsetSource *wholeFile = nullptr);

/// The details of the row's card, read from the row's file: only as much of it as the
/// card needs (see CardFile::readPrepared); when the card holds legacy text, whose
/// charset the whole file decides, the file is read once more a block at a time for
/// that decision, never whole. Throws Failure when the file cannot be read; the
/// details are empty when cancel is set on the way.
CardDetails readCardDetails(const ResultRow &row, const std::atomic<bool> *cancel = nullptr);
