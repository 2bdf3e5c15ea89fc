#pragma once

#include "card/CardBytes.h"
#include "results/ResultRow.h"

#include <QList>
#include <QString>
#include <QStringList>

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

/// The details of the row's card, read from text (the row's file as readCardFile
/// gives it). A card too long to show is shown in part, and a file that no longer
/// holds the card where the search found it is said to have changed.
CardDetails describeCard(const ResultRow &row, const CardBytes &text);
