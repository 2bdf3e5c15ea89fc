#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "filelist/FileListModel.h"
#include "gui/CardPane.h"
#include "gui/Form1Parts.h"
#include "gui/KeyedButton.h"
#include "gui/PathDelegate.h"
#include "gui/TextProgressBar.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

/// What the two report views share: one row selected at a time, read-only cells,
/// header columns the user sizes, and pointer tracking for the hover feedback.
void setUpReportView(QAbstractItemView *view, QHeaderView *header, const QString &name)
{
    view->setObjectName(name);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    view->viewport()->setMouseTracking(true);
}

/// A report view: a table of fixed-height rows with the list view's look. A tree view
/// lays out all its rows again for every insertion, which stalls adding a million files
/// or a search's million results; a table adds rows at the end.
QTableView *makeReportView(QWidget *parent, const QString &name)
{
    auto *view = new QTableView(parent);
    setUpReportView(view, view->horizontalHeader(), name);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setCornerButtonEnabled(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

} // namespace

QPushButton *Form1::makeButton(const QString &name, const QString &caption)
{
    auto *button = new KeyedButton(caption, m_background);
    button->setObjectName(name);
    button->setMouseTracking(true);
    button->setAutoDefault(false);
    button->installEventFilter(this);
    return button;
}

QGroupBox *Form1::makeFrame(const QString &name, const QString &caption)
{
    auto *frame = new QGroupBox(caption, m_background);
    frame->setObjectName(name);
    frame->setMouseTracking(true);
    frame->installEventFilter(this);
    return frame;
}

QCheckBox *Form1::makeMatchOption(const QString &name, const QString &caption)
{
    auto *box = new QCheckBox(caption, Frame2);
    box->setObjectName(name);
    return box;
}

QRadioButton *Form1::makeOption(const QString &name, const QString &caption, QWidget *frame)
{
    auto *option = new QRadioButton(caption, frame);
    option->setObjectName(name);
    return option;
}

void Form1::buildControls()
{
    setObjectName(u"Form1"_s);
    m_background = new QWidget(this);
    m_background->setObjectName(u"Form1Background"_s);
    m_background->setMouseTracking(true);
    m_background->installEventFilter(this);
    setCentralWidget(m_background);

    PushButton1 = makeButton(u"PushButton1"_s, u"Add VCF File(s)"_s);
    PushButton2 = makeButton(u"PushButton2"_s, u"Clear List"_s);
    PushButton3 = makeButton(u"PushButton3"_s, u"Open Selected File"_s);
    PushButton4 = makeButton(u"PushButton4"_s, u"Save Results As Text File"_s);
    PushButton5 = makeButton(u"PushButton5"_s, u"Help"_s);
    PushButton6 = makeButton(u"PushButton6"_s, u"Add All VCF File(s) In Folder"_s);
    PushButton7 = makeButton(u"PushButton7"_s, kStartSearching);
    PushButton8 = makeButton(u"PushButton8"_s, u"Copy Results To Clipboard"_s);
    PushButton9 = makeButton(u"PushButton9"_s, u"Clear List"_s);
    PushButton10 = makeButton(u"PushButton10"_s, u"Load Sample/Example Files"_s);
    PushButton11 = makeButton(u"PushButton11"_s, u"Open All Files"_s);
    PushButton12 = makeButton(u"PushButton12"_s, u"+"_s);
    PushButton13 = makeButton(u"PushButton13"_s, u"Save Results As Excel File"_s);
    PushButton14 = makeButton(u"PushButton14"_s, u"-"_s);
    PushButton15 = makeButton(u"PushButton15"_s, u"Clr"_s);
    PushButton16 = makeButton(u"PushButton16"_s, u"Load"_s);
    SaveCardsButton = makeButton(u"SaveCardsButton"_s, u"Save Matching Cards As vCard File"_s);
    FindDuplicatesButton = makeButton(u"FindDuplicatesButton"_s, u"Find Duplicate Contacts"_s);
    // A button of the design that lies outside the visible area and does nothing.
    Command1 = makeButton(u"Command1"_s, u"Command1"_s);
    Command1->hide();

    // Lists and panes can be as small as a few of their lines; the window's extra height
    // goes to them. Sizes follow the desktop's font, so that nothing clips at any scale.
    const int line = fontMetrics().height();
    // The lists show their heading and two or three rows at the least.
    ListView1 = makeReportView(m_background, u"ListView1"_s);
    ListView1->setModel(m_fileList);
    ListView1->setItemDelegate(new PathDelegate(ListView1));
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setToolTip(u"Drag and drop files here. Double-click item to remove it. Move | line "
                          "to right and out of window to reveal full names."_s);
    ListView1->setMinimumHeight(line * 4);
    ListView1->viewport()->installEventFilter(this);
    ListView1->installEventFilter(this);
    // Files come in by drops from outside; entries move by the list's own reordering.
    ListView1->setDragEnabled(false);
    ListView1->setAcceptDrops(true);
    ListView1->viewport()->setAcceptDrops(true);

    // The results and the card of the selected row share a splitter: the pane can be
    // resized, and hidden with its check box.
    m_resultsSplitter = new QSplitter(Qt::Vertical, m_background);
    m_resultsSplitter->setObjectName(u"ResultsSplitter"_s);
    m_resultsSplitter->setChildrenCollapsible(false);
    ListView2 = makeReportView(m_resultsSplitter, u"ListView2"_s);
    m_proxy = new ResultsProxyModel(*m_results, this);
    m_proxy->setObjectName(u"ResultsView"_s);
    ListView2->setModel(m_proxy);
    makeDuplicatesTable();
    ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView2->setItemDelegateForColumn(0, new PathDelegate(ListView2));
    ListView2->setMinimumHeight(line * 4);
    ListView2->viewport()->installEventFilter(this);
    // Value takes the width the other columns leave.
    QHeaderView *columns = ListView2->horizontalHeader();
    columns->setSectionResizeMode(2, QHeaderView::Stretch);
    columns->setMinimumSectionSize(line * 2);
    columns->setSectionsClickable(true);
    // A column is fitted to the rows in view and those next to them, a hundred in all:
    // measuring one cell's text costs tens of microseconds, and a thousand of them kept
    // the window's events waiting for tens of milliseconds a column.
    constexpr int kRowsMeasured = 100;
    ListView2->verticalHeader()->setResizeContentsPrecision(kRowsMeasured);
    columns->setResizeContentsPrecision(kRowsMeasured);
    m_cardPane = new CardPane(m_resultsSplitter);
    m_cardPane->setMinimumHeight(line * 3);
    m_resultsSplitter->addWidget(ListView2);
    m_resultsSplitter->addWidget(m_cardPane);
    m_resultsSplitter->setStretchFactor(0, 3);
    m_resultsSplitter->setStretchFactor(1, 2);
    ShowCardCheck = new QCheckBox(u"Show the card of the selected row"_s, m_background);
    ShowCardCheck->setObjectName(u"ShowCardCheck"_s);
    ShowCardCheck->setChecked(true);

    m_filterBox = new QLineEdit(m_background);
    m_filterBox->setObjectName(u"FilterBox"_s);
    m_filterBox->setPlaceholderText(u"Show only rows that contain this text"_s);
    m_filterBox->setClearButtonEnabled(true);
    m_filterLabel = new QLabel(u"&Filter:"_s, m_background);
    m_filterLabel->setObjectName(u"FilterLabel"_s);
    m_filterLabel->setBuddy(m_filterBox);
    // Typing waits a moment, so that a million rows are not filtered again for every key.
    m_filterDelay = new QTimer(this);
    m_filterDelay->setSingleShot(true);
    m_filterDelay->setInterval(150);
    m_columnFit = new QTimer(this);
    m_columnFit->setSingleShot(true);
    // Each write rewrites the whole settings file, which may be large: the search text
    // is stored at its first key and then once the typing pauses.
    m_text1Delay = new QTimer(this);
    m_text1Delay->setSingleShot(true);
    m_text1Delay->setInterval(500);
    m_statusLine = new QLabel(m_background);
    m_statusLine->setObjectName(u"StatusLine"_s);
    m_statusLine->setTextFormat(Qt::PlainText);
    m_statusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_reportButton = new QPushButton(m_background);
    m_reportButton->setObjectName(u"ReportButton"_s);
    m_reportButton->setFlat(true);
    // As high as the count line beside it: the lists keep their room.
    m_reportButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Ignored);
    m_reportButton->setToolTip(u"The reading report of the last search: what was read, what "
                               "could not be, and what the files hold that a reader has to "
                               "guess about."_s);
    m_reportButton->setText(u"Reading report"_s);
    m_reportButton->setEnabled(false);
    connect(m_reportButton, &QPushButton::clicked, this, [this] { showReadingReport(); });

    // The table's commands, in its context menu; Ctrl+C copies the selected rows.
    const auto addTableAction
        = [this](const QString &name, const QString &caption, const std::function<void()> &work) {
              auto *action = new QAction(caption, ListView2);
              action->setObjectName(name);
              connect(action, &QAction::triggered, this, work);
              ListView2->addAction(action);
              return action;
          };
    const auto addSeparator = [this] {
        auto *separator = new QAction(ListView2);
        separator->setSeparator(true);
        ListView2->addAction(separator);
    };
    addTableAction(u"TickAllShownAction"_s, u"Tick all shown"_s,
                   [this] { unguarded(u"TickAllShown"_s, [&] { m_shownProxy->tickShown(true); }); });
    addTableAction(u"UntickAllAction"_s, u"Untick all"_s,
                   [this] { unguarded(u"UntickAll"_s, [&] { m_shownResults->setAllChecked(false); }); });
    addSeparator();
    addTableAction(u"CopyValueAction"_s, u"Copy value"_s, [this] { copyCurrentValue(); });
    QAction *copyRows
        = addTableAction(u"CopyRowAction"_s, u"Copy row"_s, [this] { copySelectedRows(); });
    copyRows->setShortcut(QKeySequence::Copy);
    copyRows->setShortcutContext(Qt::WidgetShortcut);
    addSeparator();
    addTableAction(u"OpenCardAction"_s, u"Open file at the card"_s, [this] { openCurrentCard(); });
    addTableAction(u"ShowContactAction"_s, u"Show contact"_s, [this] { showCurrentContact(); });
    addSeparator();
    addTableAction(u"SaveMatchingCardsAction"_s, SaveCardsButton->text(),
                   [this] { SaveCardsButton_Click(); });
    addTableAction(u"FindDuplicatesAction"_s, FindDuplicatesButton->text(),
                   [this] { FindDuplicatesButton_Click(); });
    ListView2->setContextMenuPolicy(Qt::ActionsContextMenu);

    Frame1 = makeFrame(u"Frame1"_s, u"Search Options"_s);
    Option3 = makeOption(u"Option3"_s, u"Search for this:"_s, Frame1);
    Option4 = makeOption(u"Option4"_s, u"Search for multiple:"_s, Frame1);
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(u"Text1"_s);
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(u"Combo1"_s);
    Combo1->setEditable(false);
    Combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo1->setMinimumContentsLength(8);
    Combo1->installEventFilter(this);
    for (QPushButton *button :
         {PushButton12, PushButton14, PushButton16, PushButton15, PushButton7})
        button->setParent(Frame1);
    // Off by default; it means something only when the sets are searched.
    EveryTextCheck = new QCheckBox(u"Only cards that hold every text"_s, Frame1);
    EveryTextCheck->setObjectName(u"EveryTextCheck"_s);
    EveryTextCheck->setEnabled(false);

    Frame2 = makeFrame(u"Frame2"_s, u"Case Options"_s);
    Option2 = makeOption(u"Option2"_s, u"Ignore case"_s, Frame2);
    Option1 = makeOption(u"Option1"_s, u"Match case"_s, Frame2);
    // Off by default, so that a new user gets the designed search.
    PhoneNumbersCheck = makeMatchOption(u"PhoneNumbersCheck"_s, u"Phone numbers in any format"_s);
    PhoneRegionCombo = makePhoneRegionCombo();
    IgnoreAccentsCheck = makeMatchOption(u"IgnoreAccentsCheck"_s, u"Ignore accents"_s);
    AllPropertiesCheck = makeMatchOption(u"AllPropertiesCheck"_s, u"Search all properties"_s);
    RegularExpressionCheck = makeMatchOption(u"RegularExpressionCheck"_s, u"Regular expression"_s);
    WholeWordsCheck = makeMatchOption(u"WholeWordsCheck"_s, u"Whole words only"_s);
    SearchInButton = makeSearchInButton();
    // The initial design: "Ignore case" and "Search for this:".
    Option2->setChecked(true);
    Option3->setChecked(true);

    ProgressBar1 = new TextProgressBar(m_background);
    ProgressBar1->setObjectName(u"ProgressBar1"_s);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setText(kProgressIdle);

    // The search box, with Start beside it, above the sets and their buttons.
    auto *search = new QGridLayout(Frame1);
    search->addWidget(Option3, 0, 0);
    search->addWidget(Text1, 0, 1);
    search->addWidget(PushButton7, 0, 2, 1, 4);
    search->addWidget(Option4, 1, 0);
    search->addWidget(Combo1, 1, 1);
    search->addWidget(PushButton12, 1, 2);
    search->addWidget(PushButton14, 1, 3);
    search->addWidget(PushButton16, 1, 4);
    search->addWidget(PushButton15, 1, 5);
    // The third row: "Search in:" at its left (placed with the arrangement, see
    // Form1Layout.cpp), the rule for several texts at its right.
    search->addWidget(EveryTextCheck, 2, 1, 1, 5, Qt::AlignRight);
    search->setColumnStretch(1, 1);
    // Three rows take little more height than two: the lists below keep their room.
    search->setVerticalSpacing(0);
    search->setContentsMargins(twipsToPixels(120), 0, twipsToPixels(120), 0);
    // The set buttons are as wide as their captions need, not a push button's usual width.
    for (QPushButton *small : {PushButton12, PushButton14, PushButton16, PushButton15}) {
        const QFontMetrics metrics = small->fontMetrics();
        small->setFixedWidth(qMax(metrics.horizontalAdvance(small->text()) + metrics.height(),
                                  2 * metrics.height()));
    }

    buildTextCounts();
    arrangeControls(false);
    // A short screen, or a wide one, gets the wide arrangement.
    if (needsWideArrangement())
        arrangeControls(true);

    // Selecting an option, by hand or from code, raises its click; unselecting does not.
    const auto onSelected = [this](QRadioButton *option, void (Form1::*click)()) {
        connect(option, &QRadioButton::toggled, this, [this, click](bool on) {
            if (on)
                (this->*click)();
        });
    };
    onSelected(Option1, &Form1::Option1_Click);
    onSelected(Option2, &Form1::Option1_Click);
    onSelected(Option3, &Form1::Option3_Click);
    onSelected(Option4, &Form1::Option3_Click);
    connect(Option4, &QRadioButton::toggled, EveryTextCheck, &QWidget::setEnabled);
    for (const auto &option : matchOptionKeys()) {
        // Named copies: a lambda may not capture structured bindings in every compiler.
        QCheckBox *const box = option.first;
        const QString key = option.second;
        connect(box, &QCheckBox::toggled, this, [this, box, key] {
            unguarded(box->objectName() + u"_Click"_s,
                      [&] { m_settings.WriteSetting(key, booleanText(box->isChecked())); });
        });
    }
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(m_text1Delay, &QTimer::timeout, this, &Form1::flushSearchText);
    // Enter in the search box starts a search; a running one goes on (Esc stops it).
    connect(Text1, &QLineEdit::returnPressed, this, [this] {
        if (!isSearching())
            PushButton7->click();
    });
    // Choosing a set, by the pointer or the keyboard, means searching the sets.
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_GotFocus);
    connect(columns, &QHeaderView::sectionClicked, this, &Form1::sortByColumn);
    // A width set by the user, by dragging or as stored, stays; the others follow the
    // rows and the table's width. A hidden column is resized by the header alone.
    connect(columns, &QHeaderView::sectionResized, this, [this](int column) {
        if (!m_fittingColumns && column != 2 && !ListView2->isColumnHidden(column))
            m_columnsSizedByHand = true;
    });
    connect(m_columnFit, &QTimer::timeout, this, &Form1::fitColumns);
    const auto fitSoon = [this] { fitColumnsSoon(); };
    for (ResultsProxyModel *proxy : {m_proxy, m_duplicatesProxy}) {
        connect(proxy, &QAbstractItemModel::rowsInserted, this, fitSoon);
        connect(proxy, &QAbstractItemModel::modelReset, this, fitSoon);
        connect(proxy, &QAbstractItemModel::layoutChanged, this, fitSoon);
    }
    watchResize(ListView2->viewport(), fitSoon);
    watchResize(m_resultsSplitter, [this] { arrangeResults(); });
    connect(m_filterBox, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filterDelay, &QTimer::timeout, this, &Form1::applyFilter);
    connect(Option1, &QRadioButton::toggled, this, &Form1::applyFilter);
    const auto status = [this] { updateStatusLine(); };
    for (ResultsProxyModel *proxy : {m_proxy, m_duplicatesProxy}) {
        connect(proxy, &QAbstractItemModel::rowsInserted, this, status);
        connect(proxy, &QAbstractItemModel::rowsRemoved, this, status);
        connect(proxy, &QAbstractItemModel::modelReset, this, status);
        connect(proxy, &QAbstractItemModel::layoutChanged, this, status);
        connect(proxy, &ResultsProxyModel::arranging, this, status);
        connect(proxy, &ResultsProxyModel::arranged, this, status);
        // A filter may take the selected row out of the table: the pane follows.
        connect(proxy, &QAbstractItemModel::layoutChanged, this, [this] { showSelectedCard(); });
    }
    m_currentRowWatch = connect(ListView2->selectionModel(), &QItemSelectionModel::currentRowChanged,
                                this, [this] { showSelectedCard(); });
    connect(m_results, &QAbstractItemModel::modelReset, this, [this] { showSelectedCard(); });
    connect(m_duplicates, &QAbstractItemModel::modelReset, this, [this] { showSelectedCard(); });
    connect(ShowCardCheck, &QCheckBox::toggled, this, [this](bool shown) {
        showCardPane(shown);
        m_settings.WriteSetting(u"CardPane"_s, booleanText(shown));
    });
    connect(m_resultsSplitter, &QSplitter::splitterMoved, this, [this] { storeCardPaneSizes(); });
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
    connect(PushButton13, &QPushButton::clicked, this, &Form1::PushButton13_Click);
    connect(SaveCardsButton, &QPushButton::clicked, this, &Form1::SaveCardsButton_Click);
    connect(FindDuplicatesButton, &QPushButton::clicked, this, &Form1::FindDuplicatesButton_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);
    connect(PushButton16, &QPushButton::clicked, this, &Form1::PushButton16_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton12, &QPushButton::clicked, this, &Form1::PushButton12_Click);
    connect(PushButton14, &QPushButton::clicked, this, &Form1::PushButton14_Click);
    connect(PushButton15, &QPushButton::clicked, this, &Form1::PushButton15_Click);
    setUpKeyboardAndNames();
    setUpKeys();
}
