#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

/// One part of a workbook (a zip archive) as unzip gives it; empty when that fails.
inline QByteArray unzipEntry(const QString &archive, const QString &entry)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, entry});
    if (!unzip.waitForFinished(10000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

/// The cells of a workbook's first sheet as "A1=text" in sheet order, read from the file
/// by an XML reader; one entry naming the fault when a part is not well-formed XML.
inline QStringList sheetCells(const QString &archive)
{
    QStringList shared;
    QXmlStreamReader strings(unzipEntry(archive, QStringLiteral("xl/sharedStrings.xml")));
    while (!strings.atEnd()) {
        strings.readNext();
        if (strings.isStartElement() && strings.name() == u"si")
            shared.append(QString());
        else if (strings.isStartElement() && strings.name() == u"t" && !shared.isEmpty())
            shared.last() += strings.readElementText();
    }
    QStringList cells;
    QXmlStreamReader sheet(unzipEntry(archive, QStringLiteral("xl/worksheets/sheet1.xml")));
    QString address;
    while (!sheet.atEnd()) {
        sheet.readNext();
        if (sheet.isStartElement() && sheet.name() == u"c")
            address = sheet.attributes().value(QStringLiteral("r")).toString();
        else if (sheet.isStartElement() && sheet.name() == u"v")
            cells.append(
                address + u'='
                + shared.value(sheet.readElementText().toInt(), QStringLiteral("<missing>")));
    }
    for (const QXmlStreamReader *part : {&strings, &sheet}) {
        if (part->hasError())
            return {QStringLiteral("<not well-formed: ") + part->errorString() + u'>'};
    }
    return cells;
}
