#include "search/Duplicates.h"

#include "search/FieldMatching.h"


#include <algorithm>
#include <numeric>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// A file of fewer cards joins the piece before it while that holds fewer than kPieceCards.
constexpr quint32 kSmallFile = 4096;
constexpr std::size_t kPieceCards = 65536;

/// The union-find of the cards: each set is a group.
class CardSets
{
public:
    explicit CardSets(std::size_t count) : m_parent(count)
    {
        std::iota(m_parent.begin(), m_parent.end(), quint32(0));
    }

    quint32 find(quint32 card)
    {
        while (m_parent[card] != card) {
            m_parent[card] = m_parent[m_parent[card]];
            card = m_parent[card];
        }
        return card;
    }

    // The set takes the smaller card, its first in list order.
    void join(quint32 a, quint32 b)
    {
        a = find(a);
        b = find(b);
        if (a != b)
            m_parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<quint32> m_parent;
};

QString tagOf(quint8 field, quint16 position)
{
    const QString &name = searchedFieldTag(field);
    return position == 0 ? name : name + QString::number(position);
}

/// A cell of the text: each control character one space.
void appendCell(QString &text, QStringView cell)
{
    for (const QChar c : cell)
        text.append(c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(u' ') : c);
    text.append(u'\t');
}

} // namespace

void DuplicateFinder::addFile(const QString &path, FileDuplicateKeys &&keys)
{
    if (keys.cards.empty())
        return;
    m_files.append(path);
    m_fileCards.push_back(m_cardCount);
    const auto cards = quint32(keys.cards.size());
    // Small files join the piece before them, so that a piece holds many cards.
    if (!m_pieces.empty() && cards < kSmallFile
        && m_pieces.back().cards.cards.size() < kPieceCards) {
        m_pieces.back().cards.append(std::move(keys));
    } else {
        m_pieces.push_back({m_cardCount, std::move(keys)});
        keys = {};
    }
    // A large file's keys never stand twice in memory.
    Piece &piece = m_pieces.back();
    piece.cards.keys.takeEach([&](DuplicateKey key) {
        key.card += piece.firstCard;
        m_keys.push_back(key);
    });
    piece.cards.keys.release();
    m_cardCount += cards;
}

const DuplicateFinder::Piece &DuplicateFinder::pieceOf(quint32 card) const
{
    const auto after = std::upper_bound(
        m_pieces.cbegin(), m_pieces.cend(), card,
        [](quint32 index, const Piece &piece) { return index < piece.firstCard; });
    return *(after - 1);
}

QString DuplicateFinder::fileOf(quint32 card) const
{
    const auto after = std::upper_bound(m_fileCards.cbegin(), m_fileCards.cend(), card);
    return m_files.at(after - m_fileCards.cbegin() - 1);
}

const CardPlace &DuplicateFinder::placeOf(quint32 card) const
{
    const Piece &piece = pieceOf(card);
    return piece.cards.cards[card - piece.firstCard].place;
}

QString DuplicateFinder::contactOf(quint32 card) const
{
    const Piece &piece = pieceOf(card);
    const std::size_t local = card - piece.firstCard;
    const FileDuplicateKeys &keys = piece.cards;
    const qsizetype at = keys.cards[local].contactAt;
    const qsizetype end
        = local + 1 < keys.cards.size() ? keys.cards[local + 1].contactAt : keys.contacts.size();
    return QString::fromUtf8(keys.contacts.constData() + at, end - at);
}

QString DuplicateFinder::shownKey(const DuplicateKey &key) const
{
    switch (key.kind) {
    case DuplicateKind::Phone:
        return DuplicateKeyMaker::shownNumber(u'+' + QString::number(key.value));
    case DuplicateKind::Email:
        return QString::fromUtf8(pieceOf(key.card).cards.addresses.constData() + key.value);
    case DuplicateKind::Name:
        break;
    }
    return contactOf(key.card);
}

DuplicateGroups DuplicateFinder::groups() const
{
    return DuplicateGroups(*this);
}

DuplicateGroups::DuplicateGroups(const DuplicateFinder &finder) : m_finder(&finder)
{
    const std::deque<DuplicateKey> &keys = finder.m_keys;
    // Keys of the same hash come together: each run held by two cards or more joins them.
    m_order.resize(keys.size());
    std::iota(m_order.begin(), m_order.end(), quint32(0));
    std::sort(m_order.begin(), m_order.end(), [&keys](quint32 a, quint32 b) {
        return keys[a].hash != keys[b].hash ? keys[a].hash < keys[b].hash
                                            : keys[a].card < keys[b].card;
    });
    CardSets sets(finder.m_cardCount);
    std::size_t uses = 0;
    for (std::size_t from = 0; from < m_order.size();) {
        std::size_t to = from + 1;
        while (to < m_order.size() && keys[m_order[to]].hash == keys[m_order[from]].hash)
            ++to;
        const quint32 first = keys[m_order[from]].card;
        if (keys[m_order[to - 1]].card != first) {
            for (std::size_t k = from + 1; k < to; ++k)
                sets.join(first, keys[m_order[k]].card);
            m_runs.push_back({quint32(from), quint32(to)});
            uses += to - from;
        }
        from = to;
    }
    // Each card's and each group's things shared come in the order of their first card.
    std::sort(m_runs.begin(), m_runs.end(), [&](const Run &a, const Run &b) {
        const DuplicateKey &x = keyAt(a.from);
        const DuplicateKey &y = keyAt(b.from);
        return std::tuple(x.card, x.kind, x.field, x.position, x.hash)
            < std::tuple(y.card, y.kind, y.field, y.position, y.hash);
    });
    m_uses.reserve(uses);
    for (std::size_t r = 0; r < m_runs.size(); ++r) {
        for (quint32 k = m_runs[r].from; k < m_runs[r].to; ++k)
            m_uses.push_back({keyAt(k).card, quint32(r), k});
    }
    std::sort(m_uses.begin(), m_uses.end(), [](const Use &a, const Use &b) {
        return std::tuple(a.card, a.run, a.at) < std::tuple(b.card, b.run, b.at);
    });

    // The groups in the order of their first card, which is their set's root, then each
    // group's cards and runs side by side, in order.
    std::vector<quint32> roots;
    const auto eachGroupedCard = [this](auto &&take) {
        for (std::size_t u = 0; u < m_uses.size(); ++u) {
            if (u == 0 || m_uses[u].card != m_uses[u - 1].card)
                take(m_uses[u].card);
        }
    };
    eachGroupedCard([&](quint32 card) {
        if (sets.find(card) == card)
            roots.push_back(card);
    });
    const auto groupOf = [&](quint32 card) {
        return std::size_t(std::lower_bound(roots.cbegin(), roots.cend(), sets.find(card))
                           - roots.cbegin());
    };
    m_groups.resize(roots.size());
    eachGroupedCard([&](quint32 card) { ++m_groups[groupOf(card)].cardCount; });
    for (const Run &run : m_runs) {
        Group &group = m_groups[groupOf(keyAt(run.from).card)];
        ++group.runCount;
        group.weak = group.weak && keyAt(run.from).kind == DuplicateKind::Name;
    }
    quint32 cardsAt = 0;
    quint32 runsAt = 0;
    for (Group &group : m_groups) {
        group.cardsAt = cardsAt;
        group.runsAt = runsAt;
        cardsAt += group.cardCount;
        runsAt += group.runCount;
    }
    m_groupCards.resize(cardsAt);
    m_groupRuns.resize(runsAt);
    std::vector<quint32> cardsTaken(m_groups.size(), 0);
    eachGroupedCard([&](quint32 card) {
        const std::size_t g = groupOf(card);
        m_groupCards[m_groups[g].cardsAt + cardsTaken[g]++] = card;
    });
    std::vector<quint32> runsTaken(m_groups.size(), 0);
    for (std::size_t r = 0; r < m_runs.size(); ++r) {
        const std::size_t g = groupOf(keyAt(m_runs[r].from).card);
        m_groupRuns[m_groups[g].runsAt + runsTaken[g]++] = quint32(r);
    }
    std::stable_sort(m_groups.begin(), m_groups.end(), [](const Group &a, const Group &b) {
        if (a.cardCount != b.cardCount)
            return a.cardCount > b.cardCount;
        return !a.weak && b.weak;
    });
}

const DuplicateKey &DuplicateGroups::keyAt(quint32 at) const
{
    return m_finder->m_keys[m_order[at]];
}

QStringList DuplicateGroups::readGroup(qsizetype g,
                                       const std::function<void(const DuplicateCard &)> &each) const
{
    const Group &group = m_groups[std::size_t(g)];
    const quint32 *const runs = m_groupRuns.data() + group.runsAt;
    const auto tagOfKey = [](const DuplicateKey &key) {
        return key.kind == DuplicateKind::Name ? u"same name, weaker"_s
                                               : tagOf(key.field, key.position);
    };
    // The text of each of the group's runs, and each with the fields of every card.
    QStringList texts;
    QStringList shared;
    for (quint32 i = 0; i < group.runCount; ++i) {
        const Run &run = m_runs[runs[i]];
        texts.append(m_finder->shownKey(keyAt(run.from)));
        QStringList tags;
        for (quint32 k = run.from; k < run.to; ++k) {
            const QString tag = tagOfKey(keyAt(k));
            if (!tags.contains(tag))
                tags.append(tag);
        }
        shared.append(texts.constLast() + u" ("_s + tags.join(u", "_s) + u")"_s);
    }
    const auto textOf = [&](quint32 run) -> const QString & {
        return texts.at(std::lower_bound(runs, runs + group.runCount, run) - runs);
    };

    // Each card: what it shares, each thing once with the fields it stands in there.
    struct Shown
    {
        const QString *text;
        DuplicateKind kind;
        QStringList tags;
    };
    QList<Shown> mine;
    QStringList parts;
    DuplicateCard card;
    for (quint32 c = 0; c < group.cardCount; ++c) {
        const quint32 index = m_groupCards[group.cardsAt + c];
        mine.clear();
        auto use = std::lower_bound(m_uses.cbegin(), m_uses.cend(), index,
                                    [](const Use &a, quint32 b) { return a.card < b; });
        for (; use != m_uses.cend() && use->card == index; ++use) {
            const DuplicateKey &key = keyAt(use->at);
            const QString &text = textOf(use->run);
            const QString tag = tagOfKey(key);
            if (!mine.isEmpty() && *mine.constLast().text == text
                && mine.constLast().kind == key.kind) {
                if (!mine.last().tags.contains(tag))
                    mine.last().tags.append(tag);
            } else {
                mine.append({&text, key.kind, {tag}});
            }
        }
        parts.clear();
        for (const Shown &one : std::as_const(mine))
            parts.append(*one.text + u" ("_s + one.tags.join(u", "_s) + u")"_s);
        card.file = m_finder->fileOf(index);
        card.place = m_finder->placeOf(index);
        card.contact = m_finder->contactOf(index);
        card.shared = parts.join(u"; "_s);
        each(card);
    }
    return shared;
}

DuplicateGroup DuplicateGroups::group(qsizetype g) const
{
    DuplicateGroup group;
    group.weak = weak(g);
    group.shared = readGroup(g, [&group](const DuplicateCard &card) { group.cards.append(card); });
    return group;
}

QString duplicatesCaptionLine()
{
    return u"Group\tContact\tFile\tCard\tLine\tShared\t\r\n"_s;
}

void appendDuplicateCardLine(QString &text, const DuplicateCard &card, qsizetype number)
{
    appendCell(text, QString::number(number));
    appendCell(text, card.contact);
    appendCell(text, card.file);
    appendCell(text, QString::number(card.place.number));
    appendCell(text, QString::number(card.place.line));
    appendCell(text, card.shared);
    text.append(u"\r\n"_s);
}
