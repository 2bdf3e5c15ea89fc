#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/SettingsStore.h"
#include "gui/CardPane.h"
#include "gui/Form1Parts.h"
#include "gui/TextProgressBar.h"
#include "results/ResultsProxyModel.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

void Form1::arrangeControls(bool wide)
{
    // The design's column, top to bottom: the file list and its buttons, the search and
    // case options, the results with their filter and card pane, the counts and the
    // progress, the output buttons. The wide arrangement puts the two option frames
    // side by side and the buttons of each group in fewer rows.
    delete m_background->layout();
    const int gap = twipsToPixels(120);
    auto *column = new QVBoxLayout(m_background);
    column->setContentsMargins(gap, gap, gap, gap);

    auto *fileButtons = new QGridLayout;
    const QList<QPushButton *> fileOrder{PushButton1, PushButton6, PushButton9, PushButton10};
    for (int i = 0; i < fileOrder.size(); ++i)
        fileButtons->addWidget(fileOrder.at(i), wide ? 0 : i / 2, wide ? i : i % 2);

    // The case options in two rows of four, "Regular expression" ending the first and the
    // phone option taking the room of three below it; or, beside the search options, in
    // four rows of two, where a third column would not fit a short screen at 200 %.
    delete Frame2->layout();
    auto *cases = new QGridLayout(Frame2);
    const QList<QWidget *> caseOrder = wide
        ? QList<QWidget *>{Option2, Option1, IgnoreAccentsCheck, AllPropertiesCheck,
                           RegularExpressionCheck, WholeWordsCheck, PhoneNumbersCheck}
        : QList<QWidget *>{Option2, Option1, IgnoreAccentsCheck, RegularExpressionCheck,
                           PhoneNumbersCheck, AllPropertiesCheck};
    cases->addWidget(Option2, 0, 0);
    cases->addWidget(Option1, 0, 1);
    cases->addWidget(IgnoreAccentsCheck, wide ? 1 : 0, wide ? 0 : 2);
    // The phone option with its region beside it, which takes a row's room when wide.
    auto *phone = new QHBoxLayout;
    phone->addWidget(PhoneNumbersCheck);
    phone->addWidget(PhoneRegionCombo, 1);
    cases->addLayout(phone, wide ? 3 : 1, 0, 1, 3);
    cases->addWidget(AllPropertiesCheck, 1, wide ? 1 : 3);
    cases->addWidget(RegularExpressionCheck, wide ? 2 : 0, wide ? 0 : 3);
    // "Whole words only" beside "Regular expression" when wide (in the column see below).
    if (wide)
        cases->addWidget(WholeWordsCheck, 2, 1);
    cases->setHorizontalSpacing(gap);
    // Four rows stand beside two: without room between them they take little more height.
    if (wide)
        cases->setVerticalSpacing(0);
    cases->setContentsMargins(gap, gap / 2, gap, gap / 2);
    cases->setColumnStretch(wide ? 2 : 4, 1);

    // "Search in:" opens a third row of the search options beside the taller case
    // options. In the column, where a row more would take height from the lists and a
    // column more would not fit the case options' width, it ends the row of the sets, with
    // "Whole words only" above it.
    if (auto *search = qobject_cast<QGridLayout *>(Frame1->layout())) {
        search->removeWidget(SearchInButton);
        search->removeWidget(WholeWordsCheck);
        // Closer together in the column, so that the row still fits the design's width.
        search->setHorizontalSpacing(wide ? -1 : gap / 2);
        if (wide) {
            search->addWidget(SearchInButton, 2, 0, 1, 2, Qt::AlignLeft);
        } else {
            search->addWidget(WholeWordsCheck, 0, 6);
            search->addWidget(SearchInButton, 1, 6);
        }
    }

    auto *options = new QBoxLayout(wide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    options->addWidget(Frame1, 3);
    options->addWidget(Frame2, 2);
    // One above the other, the frames' borders part them: the lists keep the height.
    if (!wide)
        options->setSpacing(0);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(m_resultsTabs);
    filterRow->addWidget(m_filterLabel);
    filterRow->addWidget(m_filterBox, 1);
    filterRow->addWidget(ShowCardCheck);

    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(FindDuplicatesButton);
    progressRow->addWidget(PushButton2);
    progressRow->addWidget(PushButton5);

    // Open and copy, then save.
    auto *resultButtons = new QGridLayout;
    const QList<QPushButton *> resultOrder{PushButton3, PushButton11, PushButton8,
                                           PushButton4, PushButton13, SaveCardsButton};
    for (int i = 0; i < resultOrder.size(); ++i)
        resultButtons->addWidget(resultOrder.at(i), i / 3, i % 3);

    column->addWidget(ListView1, 1);
    column->addLayout(fileButtons);
    column->addLayout(options);
    column->addLayout(filterRow);
    column->addWidget(m_resultsSplitter, 4);
    // The count line, with the buttons of the counts per text and of the reading report
    // beside it.
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_statusLine, 1);
    statusRow->addWidget(m_countsButton);
    statusRow->addWidget(m_reportButton);
    column->addLayout(statusRow);
    column->addLayout(progressRow);
    column->addLayout(resultButtons);

    // Tab follows the same order.
    QList<QWidget *> order{ListView1};
    order += {fileOrder.cbegin(), fileOrder.cend()};
    order += {Option3, Text1, PushButton7};
    if (!wide)
        order += WholeWordsCheck;
    order += {Option4,       Combo1,       PushButton12,  PushButton14,
              PushButton16,  PushButton15, SearchInButton, EveryTextCheck};
    order += caseOrder;
    order.insert(order.indexOf(PhoneNumbersCheck) + 1, PhoneRegionCombo);
    order += {ResultsTab, DuplicatesTab, m_filterBox, ShowCardCheck, ListView2};
    // The card pane's two lists, side by side.
    for (const QString &inner : {u"CardProperties"_s, u"CardLines"_s}) {
        if (auto *list = m_cardPane->findChild<QWidget *>(inner))
            order.append(list);
    }
    order += {m_countsButton, m_reportButton, FindDuplicatesButton, PushButton2, PushButton5};
    order += {resultOrder.cbegin(), resultOrder.cend()};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

bool Form1::needsWideArrangement()
{
    // A screen too short for the design's column, or one whose first window (two thirds
    // of it) is far wider than the column: the wide arrangement leaves more height to
    // the results.
    const std::optional<QSize> room = screenRoom();
    const QSize column = m_background->layout()->totalMinimumSize();
    return room
        && (column.height() > room->height() || room->width() * 2 / 3 >= column.width() * 3 / 2);
}

std::optional<QSize> Form1::screenRoom() const
{
    const QScreen *shown = screen();
    if (!shown)
        return std::nullopt;
    const QRect room = shown->availableGeometry();
    return QSize(room.width(), room.height() - style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

void Form1::setUpKeyboardAndNames()
{
    // Each control with the name a screen reader says and what it does.
    struct Named
    {
        QWidget *control;
        QString name;
        QString description;
    };
    const QList<Named> controls{
        {ListView1, u"Files to search"_s,
         u"The card files a search reads. Delete removes the selected files; drop files "
         "or folders here to add them."_s},
        {PushButton1, PushButton1->text(), u"Chooses card files to add to the list."_s},
        {PushButton6, PushButton6->text(),
         u"Adds every file with an extension you name from a folder and its subfolders."_s},
        {PushButton5, PushButton5->text(), u"Shows how to use this program."_s},
        {PushButton9, u"Clear file list"_s, u"Removes every file from the list."_s},
        {PushButton10, PushButton10->text(), u"Adds the sample card files."_s},
        {Option3, Option3->text(), u"Searches for the text in the search box."_s},
        {Text1, u"Search text"_s, u"The text to look for. Enter starts the search."_s},
        {PushButton7, u"Start or stop searching"_s,
         u"Starts a search of every listed file, or stops the running one."_s},
        {Option4, Option4->text(), u"Searches for every set of the list."_s},
        {Combo1, u"Search sets"_s, u"The texts searched for with \"Search for multiple:\"."_s},
        {PushButton12, u"Add set"_s, u"Adds a search text to the sets."_s},
        {PushButton14, u"Remove set"_s, u"Removes the shown set from the list."_s},
        {PushButton16, u"Load sets"_s, u"Adds the sets of list files, one set per line."_s},
        {PushButton15, u"Clear sets"_s, u"Removes every set from the list."_s},
        {Option2, Option2->text(), u"Finds the text in any case."_s},
        {Option1, Option1->text(), u"Finds the text only in the same case."_s},
        {IgnoreAccentsCheck, IgnoreAccentsCheck->text(),
         u"Finds letters with or without their accents."_s},
        {PhoneNumbersCheck, PhoneNumbersCheck->text(),
         u"Finds a telephone number whatever its spaces, dashes and country code."_s},
        {PhoneRegionCombo, u"Phone region"_s,
         u"The country whose numbers are written without a country code."_s},
        {AllPropertiesCheck, AllPropertiesCheck->text(),
         u"Also searches the properties outside the contact's fields."_s},
        {RegularExpressionCheck, RegularExpressionCheck->text(),
         u"Reads every search text as a regular expression, such as @example\\.(com|org)$."_s},
        {EveryTextCheck, EveryTextCheck->text(),
         u"With several search texts, lists only the cards in which each of them is found."_s},
        {m_countsButton, m_countsButton->text(),
         u"Lists the rows, cards and files each search text found; choose one to show only "
         "its rows."_s},
        {WholeWordsCheck, WholeWordsCheck->text(),
         u"Finds a text only where it starts and ends at a word's edge: ann finds Ann Lee, "
         "not Joanna."_s},
        {SearchInButton, u"Search in"_s,
         u"Chooses the fields to search: all of them, groups such as Names or Phones, or "
         "single fields."_s},
        {m_filterBox, u"Filter results"_s,
         u"Shows only the result rows that contain this text in any column."_s},
        {ShowCardCheck, ShowCardCheck->text(), u"Shows or hides the pane with the whole card."_s},
        {ListView2, u"Results"_s,
         u"One row per value found: file, tag, value and contact. Click a heading to sort; "
         "the context menu holds more commands."_s},
        {m_cardPane, u"Card of the selected row"_s,
         u"The properties and lines of the card the selected row comes from."_s},
        {PushButton3, PushButton3->text(),
         u"Opens the selected row's file in a text editor, at its card."_s},
        {PushButton11, PushButton11->text(), u"Opens every file with results in a text editor."_s},
        {PushButton8, PushButton8->text(), u"Copies the ticked rows to the clipboard."_s},
        {PushButton4, PushButton4->text(), u"Saves every row in a text file."_s},
        {PushButton13, PushButton13->text(), u"Opens every row in a spreadsheet."_s},
        {PushButton2, u"Clear results"_s, u"Removes every result row."_s},
        {SaveCardsButton, SaveCardsButton->text(),
         u"Saves every card with a result row in one vCard file."_s},
        {FindDuplicatesButton, FindDuplicatesButton->text(),
         u"Finds the cards of the files that share a phone number, an e-mail address or a "
         "name, among the cards that match the search text when one is given."_s},
        {ResultsTab, u"Show the results"_s, u"Shows the rows found in the table."_s},
        {DuplicatesTab, u"Show the duplicates"_s,
         u"Shows the groups of duplicate contacts in the table: tick cards to save them."_s},
        {m_statusLine, u"Result counts"_s, u"How many rows came from how many files and cards."_s},
        {m_reportButton, u"Reading report"_s,
         u"Opens the reading report of the last search: the files with problems."_s},
        {ProgressBar1, u"Progress"_s, u"How far the running search or scan has come."_s},
    };
    for (const Named &each : controls) {
        each.control->setAccessibleName(each.name);
        each.control->setAccessibleDescription(each.description);
    }
    // Tab leaves the tables instead of moving from cell to cell.
    ListView1->setTabKeyNavigation(false);
    ListView2->setTabKeyNavigation(false);
    // Enter presses the button that has the focus, as Space does.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(true);
}

void Form1::setUpKeys()
{
    // Alt and a letter press the main buttons. The captions stay as they are: the
    // buttons underline the letter themselves.
    const QList<std::pair<QPushButton *, QChar>> mnemonics{
        {PushButton1, u'A'},  {PushButton6, u'I'},     {PushButton10, u'E'}, {PushButton7, u'S'},
        {PushButton3, u'O'},  {PushButton11, u'L'},    {PushButton8, u'C'},  {PushButton4, u'T'},
        {PushButton13, u'X'}, {SaveCardsButton, u'M'}, {PushButton5, u'H'},
        {FindDuplicatesButton, u'D'}};
    for (const auto &[button, letter] : mnemonics)
        button->setShortcut(QKeySequence(Qt::ALT | Qt::Key(letter.unicode())));

    // Esc stops a running search, wherever the focus is in the window.
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (m_session.press() == SearchSession::Press::Stop)
            PushButton7->click();
    });

    // Space ticks the selected rows from any cell, not only from the box's own column.
    auto *tick = new QAction(u"Tick or untick the selected rows"_s, ListView2);
    tick->setObjectName(u"TickRowsAction"_s);
    tick->setShortcut(Qt::Key_Space);
    tick->setShortcutContext(Qt::WidgetShortcut);
    connect(tick, &QAction::triggered, this,
            [this] { unguarded(u"TickRows"_s, [&] { tickCurrentRows(); }); });
    const QList<QAction *> commands = ListView2->actions();
    ListView2->insertAction(commands.value(2), tick);

    // The headings' sorting, from the context menu: a column goes on as a click on its
    // heading does, from ascending to descending.
    auto *sortMenu = new QMenu(u"Sort by"_s, ListView2);
    sortMenu->setObjectName(u"SortMenu"_s);
    auto *sorts = new QActionGroup(sortMenu);
    for (int column = -1; column < m_proxy->columnCount(); ++column) {
        const QString caption = column < 0
            ? u"Order found"_s
            : m_proxy->headerData(column, Qt::Horizontal).toString().trimmed();
        QAction *sort = sortMenu->addAction(caption);
        sort->setCheckable(true);
        sort->setData(column);
        sorts->addAction(sort);
        connect(sort, &QAction::triggered, this, [this, column] {
            if (column < 0)
                sortTable(-1, Qt::AscendingOrder);
            else
                sortByColumn(column);
        });
    }
    connect(sortMenu, &QMenu::aboutToShow, this, [this, sorts] {
        for (QAction *sort : sorts->actions()) {
            sort->setChecked(sort->data().toInt() == m_proxy->sortColumn());
            sort->setVisible(!ListView2->isColumnHidden(sort->data().toInt()));
        }
    });
    QAction *sortBy = sortMenu->menuAction();
    sortBy->setObjectName(u"SortByAction"_s);
    auto *separator = new QAction(ListView2);
    separator->setSeparator(true);
    ListView2->addActions({separator, sortBy});
}

void Form1::restoreWindowLayout()
{
    // The design's client area (8040 x 10125 twips) at the desktop's scale. A screen
    // with room for more gives two thirds of its width and four fifths of its height to
    // the table and the card; a screen too short for the design's column gives all it
    // has. Kept on the screen, and never smaller than the controls need.
    QSize size(twipsToPixels(8040), twipsToPixels(10125));
    if (const std::optional<QSize> room = screenRoom()) {
        if (size.height() > room->height())
            size = *room;
        size = size.expandedTo({room->width() * 2 / 3, room->height() * 4 / 5}).boundedTo(*room);
    }
    resize(size.expandedTo(minimumSizeHint()));
    const QByteArray stored
        = QByteArray::fromBase64(m_settings.ReadSetting(u"WindowGeometry"_s, QString()).toLatin1());
    // Qt keeps a restored window on a screen that is there now.
    if (!stored.isEmpty())
        restoreGeometry(stored);
    const QList<int> widths
        = storedSizes(m_settings.ReadSetting(u"ResultsColumns"_s, QString()), 3);
    if (widths.isEmpty())
        return; // the columns follow their contents
    ListView2->setColumnWidth(0, widths.at(0));
    ListView2->setColumnWidth(1, widths.at(1));
    ListView2->setColumnWidth(3, widths.at(2));
}

void Form1::storeWindowLayout()
{
    m_settings.WriteSetting(u"WindowGeometry"_s, QString::fromLatin1(saveGeometry().toBase64()));
    // Widths that follow the contents are worked out afresh at the next start.
    if (!m_columnsSizedByHand)
        return;
    m_settings.WriteSetting(u"ResultsColumns"_s,
                            u"%1,%2,%3"_s.arg(ListView2->columnWidth(0))
                                .arg(ListView2->columnWidth(1))
                                .arg(ListView2->columnWidth(3)));
}
