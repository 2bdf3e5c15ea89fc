#include "cli/DumpCommand.h"

#include "base/Failure.h"
#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "cli/JsonText.h"
#include "cli/Output.h"

#include <cstring>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

/// Writes one card as a JSON line. The line is written in pieces: a card of a million
/// telephone numbers is never held whole as text.
void writeJsonLine(Output &output, const QString &file, qsizetype card, const ContactFields &fields)
{
    QString line = u"{\"file\": "_s;
    const std::function<void()> flushIfLong = [&] {
        if (line.size() >= kJsonPiece) {
            output.write(line.toUtf8());
            line.resize(0);
        }
    };
    appendJsonString(line, file, flushIfLong);
    line.append(u", \"card\": "_s + QString::number(card));
    for (const ContactFieldInfo &field : declaredContactFields()) {
        line.append(u", \""_s + field.name + u"\": "_s);
        if (field.isList()) {
            line.append(u'[');
            const TextList &values = fields.*field.list;
            for (qsizetype i = 0; i < values.size(); ++i) {
                if (i > 0)
                    line.append(u", "_s);
                appendJsonString(line, values.at(i), flushIfLong);
                flushIfLong();
            }
            line.append(u']');
        } else {
            appendJsonString(line, fields.*field.text, flushIfLong);
        }
        flushIfLong();
    }
    line.append(u"}\n"_s);
    output.write(line.toUtf8());
}

} // namespace

int runDump(const QStringList &paths, std::FILE *out, std::FILE *err)
{
    Output output(out);
    int status = 0;
    const auto fail = [&](const QString &description) {
        output.finish(); // the cards before the failure come first
        std::fprintf(err, "quillory-search: %s\n", description.toUtf8().constData());
        status = 2;
    };
    for (const QString &path : paths) {
        if (output.failed())
            break;
        // Cards are printed as the file is parsed: a large export is never held as
        // records all at once.
        qsizetype number = 0;
        try {
            CardFile file(path);
            if (file.isMissing()) {
                fail(path + u": "_s + QString::fromLocal8Bit(std::strerror(file.openError())));
                continue;
            }
            const CardBytes text = file.read();
            CardParser::parse(
                text, [&](ContactFields &&card) { writeJsonLine(output, path, ++number, card); });
        } catch (const Failure &failure) {
            fail(failure.description());
        }
    }
    if (!output.finish()) {
        std::fprintf(err, "quillory-search: cannot write the cards: %s\n",
                     output.errorText().toUtf8().constData());
        return 2;
    }
    return status;
}
