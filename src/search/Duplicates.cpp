#include "search/Duplicates.h"

#include "search/FieldMatching.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

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
    const auto file = quint32(m_files.size());
    m_files.append(path);
    for (const FileDuplicateKeys::Card &card : keys.cards) {
        const auto index = quint32(m_cards.size());
        const QByteArray contact = keys.contact(card).toUtf8();
        m_cards.push_back({card.place, m_contacts.size(), quint32(contact.size()), file});
        m_contacts.append(contact);
        for (quint32 k = card.firstKey; k < card.firstKey + card.keyCount; ++k) {
            const DuplicateKey &key = keys.keys[k];
            Key held{key.hash, 0, index, key.kind, key.field, key.position};
            const QStringView text = keys.keyText(key);
            if (key.kind == DuplicateKind::Phone) {
                held.value = text.sliced(1).toULongLong(); // E.164: "+" and 15 digits at most
            } else if (key.kind == DuplicateKind::Email) {
                held.value = quint64(m_addresses.size());
                m_addresses.append(text.toUtf8());
                m_addresses.append('\0');
            }
            m_keys.push_back(held);
        }
    }
    keys = {};
}

QString DuplicateFinder::contactOf(const Card &card) const
{
    return QString::fromUtf8(m_contacts.constData() + card.contactAt, card.contactLength);
}

QString DuplicateFinder::shownKey(const Key &key) const
{
    switch (key.kind) {
    case DuplicateKind::Phone:
        return DuplicateKeyMaker::shownNumber(u'+' + QString::number(key.value));
    case DuplicateKind::Email:
        return QString::fromUtf8(m_addresses.constData() + key.value);
    case DuplicateKind::Name:
        break;
    }
    return contactOf(m_cards[key.card]);
}

QList<DuplicateGroup> DuplicateFinder::groups() const
{
    // Keys of the same hash come together: each run held by two cards or more joins them.
    std::vector<quint32> order(m_keys.size());
    std::iota(order.begin(), order.end(), quint32(0));
    std::sort(order.begin(), order.end(), [this](quint32 a, quint32 b) {
        return m_keys[a].hash != m_keys[b].hash ? m_keys[a].hash < m_keys[b].hash
                                                : m_keys[a].card < m_keys[b].card;
    });
    CardSets sets(m_cards.size());
    std::vector<std::pair<std::size_t, std::size_t>> runs; // shared runs [from, to) of order
    for (std::size_t from = 0; from < order.size();) {
        std::size_t to = from + 1;
        while (to < order.size() && m_keys[order[to]].hash == m_keys[order[from]].hash)
            ++to;
        const quint32 first = m_keys[order[from]].card;
        if (m_keys[order[to - 1]].card != first) {
            for (std::size_t k = from + 1; k < to; ++k)
                sets.join(first, m_keys[order[k]].card);
            runs.emplace_back(from, to);
        }
        from = to;
    }

    // What each grouped card shares, and each group's things shared, in the order of
    // their first card.
    struct Shared
    {
        QString text;
        QStringList tags;
        DuplicateKind kind;
    };
    std::sort(runs.begin(), runs.end(), [&](const auto &a, const auto &b) {
        const Key &x = m_keys[order[a.first]];
        const Key &y = m_keys[order[b.first]];
        return std::tuple(x.card, x.kind, x.field, x.position, x.hash)
            < std::tuple(y.card, y.kind, y.field, y.position, y.hash);
    });
    // Cards of one group often show the same things and the same contact: each such
    // text is held once, so that a file of a hundred thousand copies of one card does
    // not hold a hundred thousand copies of its texts.
    QSet<QString> texts;
    const auto once = [&texts](QString text) -> QString {
        return *texts.insert(std::move(text));
    };
    QHash<quint32, QList<Shared>> byCard; // the grouped cards only
    QHash<quint32, QList<Shared>> byGroup;
    for (const auto &[from, to] : runs) {
        const Key &first = m_keys[order[from]];
        Shared all{shownKey(first), {}, first.kind};
        for (std::size_t k = from; k < to; ++k) {
            const Key &key = m_keys[order[k]];
            const QString tag = once(key.kind == DuplicateKind::Name
                                         ? u"same name, weaker"_s
                                         : tagOf(key.field, key.position));
            if (!all.tags.contains(tag))
                all.tags.append(tag);
            QList<Shared> &mine = byCard[key.card];
            if (!mine.isEmpty() && mine.constLast().text == all.text
                && mine.constLast().kind == key.kind) {
                if (!mine.last().tags.contains(tag))
                    mine.last().tags.append(tag);
            } else {
                mine.append({all.text, {tag}, key.kind});
            }
        }
        byGroup[sets.find(first.card)].append(std::move(all));
    }
    const auto shownShared = [](const Shared &shared) -> QString {
        return shared.text + u" ("_s + shared.tags.join(u", "_s) + u")"_s;
    };

    QHash<quint32, qsizetype> groupOf; // by the group's first card
    QList<DuplicateGroup> groups;
    QList<quint32> firstCards;
    std::vector<quint32> cards;
    for (auto it = byCard.cbegin(); it != byCard.cend(); ++it)
        cards.push_back(it.key());
    std::sort(cards.begin(), cards.end());
    for (const quint32 index : cards) {
        const quint32 root = sets.find(index);
        auto at = groupOf.constFind(root);
        if (at == groupOf.cend()) {
            at = groupOf.insert(root, groups.size());
            DuplicateGroup group;
            group.weak = true;
            for (const Shared &shared : byGroup.value(root)) {
                group.shared.append(shownShared(shared));
                group.weak = group.weak && shared.kind == DuplicateKind::Name;
            }
            groups.append(std::move(group));
            firstCards.append(root);
        }
        const Card &card = m_cards[index];
        QStringList shared;
        for (const Shared &one : byCard.value(index))
            shared.append(shownShared(one));
        groups[*at].cards.append({m_files.at(card.file), card.place, once(contactOf(card)),
                                  once(shared.join(u"; "_s))});
    }
    std::vector<qsizetype> ranks(std::size_t(groups.size()));
    std::iota(ranks.begin(), ranks.end(), qsizetype(0));
    std::stable_sort(ranks.begin(), ranks.end(), [&](qsizetype a, qsizetype b) {
        if (groups[a].cards.size() != groups[b].cards.size())
            return groups[a].cards.size() > groups[b].cards.size();
        return !groups[a].weak && groups[b].weak;
    });
    QList<DuplicateGroup> sorted;
    sorted.reserve(groups.size());
    for (const qsizetype rank : ranks)
        sorted.append(std::move(groups[rank]));
    return sorted;
}

QString duplicatesCaptionLine()
{
    return u"Group\tContact\tFile\tCard\tLine\tShared\t\r\n"_s;
}

void appendDuplicateGroupLines(QString &text, const DuplicateGroup &group, qsizetype number)
{
    for (const DuplicateCard &card : group.cards) {
        appendCell(text, QString::number(number));
        appendCell(text, card.contact);
        appendCell(text, card.file);
        appendCell(text, QString::number(card.place.number));
        appendCell(text, QString::number(card.place.line));
        appendCell(text, card.shared);
        text.append(u"\r\n"_s);
    }
    text.append(u"\r\n"_s);
}
