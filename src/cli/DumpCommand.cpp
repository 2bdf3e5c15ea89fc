#include "cli/DumpCommand.h"

#include "base/Failure.h"
#include "card/CardBlocks.h"
#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "cli/JsonText.h"
#include "cli/Output.h"

#include <cstring>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Write = std::function<void(QByteArrayView)>;

/// Writes one card as a JSON line. The line is written in pieces: a card of a million
/// telephone numbers is never held whole as text.
void writeJsonLine(const Write &write, const QString &file, qint64 card,
                   const ContactFields &fields)
{
    QString line = u"{\"file\": "_s;
    const std::function<void()> flushIfLong = [&] {
        if (line.size() >= kJsonPiece) {
            write(line.toUtf8());
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
    write(line.toUtf8());
}

/// Writes the cards of a file too large to be read whole, read a block at a time as the
/// search reads it. A block's lines are written once its parse has ended outside every
/// card; one that ends inside a card (cards nested across its end) is parsed again
/// with more after it. The lines are held up to four blocks' worth; past that they are let
/// go, and the block is parsed once more to write them, so that cards nested across many
/// blocks are not all held as lines.
void writeInBlocks(Output &output, const QString &path, const CardFile &file)
{
    std::optional<cardreader::LegacyCharset> legacy;
    const cardreader::LegacyCharsetSource wholeFile = [&] {
        if (!legacy)
            legacy = scanLegacyCharset(file);
        return *legacy;
    };
    ParseOptions options;
    options.legacyCharset = &wholeFile;
    CardBlockReader reader(file, cardBlockBytes());
    CardBlock block;
    qint64 before = 0;
    const qsizetype mostHeld = 4 * cardBlockBytes();
    QByteArray lines;
    bool holding = true;
    const Write hold = [&](QByteArrayView bytes) {
        lines.append(bytes);
        if (lines.size() > mostHeld) {
            holding = false;
            lines = QByteArray();
        }
    };
    const Write write = [&output](QByteArrayView bytes) { output.write(bytes); };
    while (!output.failed() && reader.next(block)) {
        bool empty = false;
        bool outside = true;
        // direct: the lines go straight to the output, not held.
        const auto parse = [&](const Write &to, bool direct) {
            return CardParser::parseRange(
                block.text, 0, block.text.bytes.size(),
                [&](ContactFields &&card, const CardParser::Identity &identity) {
                    // A block's one card of lines that hold none is no card of the file,
                    // unless the file holds no other.
                    if (identity.begin == identity.end && !(block.last && before == 0)) {
                        empty = true;
                        return;
                    }
                    if (direct || holding)
                        writeJsonLine(to, path, before + identity.number, card);
                },
                nullptr, &outside, nullptr, options);
        };
        holding = true;
        lines.clear();
        const qint64 cards = parse(hold, false);
        if (!outside && !block.last) {
            reader.extend(std::move(block));
            continue;
        }
        if (holding)
            output.write(lines);
        else
            parse(write, true);
        before += cards - (empty ? 1 : 0);
    }
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
            if (file.size() > cardWholeFileBytes()) {
                writeInBlocks(output, path, file);
                continue;
            }
            const CardBytes text = file.read();
            const Write write = [&output](QByteArrayView bytes) { output.write(bytes); };
            CardParser::parse(
                text, [&](ContactFields &&card) { writeJsonLine(write, path, ++number, card); });
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
