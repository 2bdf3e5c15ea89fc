#include "search/SearchRun.h"

#include "app/ErrorReport.h"
#include "card/clsVCF.h"
#include "filelist/PathRules.h"
#include "search/FieldMatching.h"

using namespace Qt::StringLiterals;

QStringList SearchCriteria::searchTexts() const
{
    switch (mode) {
    case Mode::This:
        return {text};
    case Mode::Multiple:
        return sets;
    case Mode::None:
        break;
    }
    return {};
}

SearchRun::SearchRun(QStringList files) : m_files(std::move(files)) {}

bool SearchRun::run(SearchHost &host, Guard &guard)
{
    m_running = true;
    clsVCF record;
    const qsizetype count = m_files.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (m_stopRequested)
            break;
        const QString &path = m_files.at(i);
        guard.step(134, [&] {
            host.showProgress(double(i + 1) / double(count) * 100.0,
                              u"Processing: "_s + GetFileNameFromPath(path));
        });
        guard.step(138, [&] { host.processEvents(); });
        guard.step(140, [&] { host.markBusy(); });
        if (!guard.step(142, [&] { record.setFilename(path); }))
            continue;
        QList<ResultRow> rows;
        guard.step(144, [&] {
            const SearchCriteria criteria = host.currentCriteria();
            const QStringList texts = criteria.searchTexts();
            for (qsizetype card = 0; card < record.CardCount(); ++card) {
                record.SelectCard(card);
                for (const QString &text : texts)
                    AddFieldMatches(record, path, text, criteria.ignoreCase, rows);
            }
        });
        if (!rows.isEmpty())
            guard.step(146, [&] { host.addRows(std::move(rows)); });
    }
    m_running = false;
    return !m_stopRequested;
}
