#include "cli/DumpCommand.h"

#include "app/Failure.h"
#include "card/clsVCF.h"

using namespace Qt::StringLiterals;

namespace {

void appendJsonString(QString &out, const QString &text)
{
    out.append(u'"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out.append(u"\\\""_s);
            break;
        case u'\\':
            out.append(u"\\\\"_s);
            break;
        case u'\n':
            out.append(u"\\n"_s);
            break;
        case u'\r':
            out.append(u"\\r"_s);
            break;
        case u'\t':
            out.append(u"\\t"_s);
            break;
        default:
            if (c.unicode() < 0x20)
                out.append(u"\\u%1"_s.arg(uint(c.unicode()), 4, 16, QChar(u'0')));
            else
                out.append(c);
        }
    }
    out.append(u'"');
}

QByteArray jsonLine(const QString &file, qsizetype card, const ContactFields &fields)
{
    QString line = u"{\"file\": "_s;
    appendJsonString(line, file);
    line.append(u", \"card\": "_s + QString::number(card));
    for (const ContactFieldInfo &field : declaredContactFields()) {
        line.append(u", \""_s + field.name + u"\": "_s);
        if (field.isList()) {
            line.append(u'[');
            const QStringList &values = fields.*field.list;
            for (qsizetype i = 0; i < values.size(); ++i) {
                if (i > 0)
                    line.append(u", "_s);
                appendJsonString(line, values.at(i));
            }
            line.append(u']');
        } else {
            appendJsonString(line, fields.*field.text);
        }
    }
    line.append(u"}\n"_s);
    return line.toUtf8();
}

} // namespace

int runDump(const QStringList &paths, std::FILE *out, std::FILE *err)
{
    int status = 0;
    clsVCF record;
    for (const QString &path : paths) {
        try {
            record.setFilename(path);
        } catch (const Failure &failure) {
            std::fflush(out);
            std::fprintf(err, "quillory-search: %s\n", failure.description().toUtf8().constData());
            status = 2;
            continue;
        }
        for (qsizetype card = 0; card < record.CardCount(); ++card) {
            record.SelectCard(card);
            const QByteArray line = jsonLine(path, card + 1, record.Fields());
            std::fwrite(line.constData(), 1, std::size_t(line.size()), out);
        }
    }
    std::fflush(out);
    return status;
}
