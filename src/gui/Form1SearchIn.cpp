#include "gui/Form1.h"

#include "base/SettingsStore.h"
#include "search/FieldChoice.h"
#include "search/FieldMatching.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

// "Search in:": a button whose menu chooses the fields a search looks in. "All fields",
// then the groups, then a submenu of single fields; several may be ticked. The choice is
// stored under "SearchIn" as the names the command line takes, separated by commas, and
// restored at start-up; names the menu does not know are left out then.

namespace {

const QString kAllFields = u"All fields"_s;

} // namespace

QPushButton *Form1::makeSearchInButton()
{
    auto *button = new QPushButton(Frame1);
    button->setObjectName(u"SearchInButton"_s);
    auto *menu = new QMenu(button);
    menu->setObjectName(u"SearchInMenu"_s);
    QAction *all = menu->addAction(kAllFields);
    all->setObjectName(u"SearchInAll"_s);
    all->setCheckable(true);
    all->setChecked(true);
    menu->addSeparator();
    const auto addChoice = [this](QMenu *into, const QString &caption, const QString &name) {
        QAction *choice = into->addAction(caption);
        choice->setCheckable(true);
        choice->setData(name);
        m_searchInChoices.append(choice);
        connect(choice, &QAction::toggled, this, [this] { SearchIn_Click(); });
    };
    for (const FieldGroup &group : fieldGroups())
        addChoice(menu, group.caption, group.name);
    QMenu *single = menu->addMenu(u"Single fields"_s);
    single->setObjectName(u"SearchInFields"_s);
    for (std::size_t f = 0; f < kContactFieldCount; ++f)
        addChoice(single, searchedFieldTag(f), searchedFieldTag(f));
    // "All fields" clears the others; unticking it leaves it ticked, as no choice is all.
    connect(all, &QAction::triggered, this, [this] {
        for (QAction *choice : std::as_const(m_searchInChoices)) {
            const QSignalBlocker quiet(choice);
            choice->setChecked(false);
        }
        SearchIn_Click();
    });
    button->setMenu(menu);
    // As wide as the caption of every field, so that a choice never moves the controls
    // beside it: a longer caption is shortened, and its tooltip tells it whole.
    const QString widest = u"Search in: "_s + kAllFields;
    button->setText(widest);
    button->setFixedWidth(button->sizeHint().width());
    button->setProperty("captionRoom", button->fontMetrics().horizontalAdvance(widest));
    return button;
}

QStringList Form1::searchInNames() const
{
    QStringList names;
    for (const QAction *choice : m_searchInChoices) {
        if (choice->isChecked())
            names.append(choice->data().toString());
    }
    return names;
}

void Form1::showSearchIn()
{
    QStringList captions;
    for (const QAction *choice : std::as_const(m_searchInChoices)) {
        if (choice->isChecked())
            captions.append(choice->text());
    }
    const QString chosen = captions.isEmpty() ? kAllFields : captions.join(u", "_s);
    if (QAction *all = SearchInButton->menu()->findChild<QAction *>(u"SearchInAll"_s))
        all->setChecked(captions.isEmpty());
    const QString caption = u"Search in: "_s + chosen;
    const QFontMetrics metrics = SearchInButton->fontMetrics();
    const int room = SearchInButton->property("captionRoom").toInt();
    SearchInButton->setText(metrics.horizontalAdvance(caption) <= room
                                ? caption
                                : metrics.elidedText(caption, Qt::ElideRight, room));
    SearchInButton->setToolTip(caption);
}

void Form1::SearchIn_Click()
{
    showSearchIn();
    unguarded(u"SearchIn_Click"_s, [&] {
        m_settings.WriteSetting(u"SearchIn"_s, searchInNames().join(u','));
    });
}

void Form1::restoreSearchIn()
{
    const QStringList stored
        = m_settings.ReadSetting(u"SearchIn"_s, QString()).split(u',', Qt::SkipEmptyParts);
    for (QAction *choice : std::as_const(m_searchInChoices)) {
        const QSignalBlocker quiet(choice);
        choice->setChecked(stored.contains(choice->data().toString()));
    }
    showSearchIn();
}
