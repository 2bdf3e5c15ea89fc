#include "gui/Form1.h"

#include "gui/CardPane.h"
#include "base/Desktop.h"
#include "app/DesktopOpen.h"
#include "base/ErrorReport.h"
#include "base/EventPump.h"
#include "base/Failure.h"
#include "gui/PathDelegate.h"
#include "base/SettingsStore.h"
#include "gui/TextProgressBar.h"
#include "app/WindowTexts.h"
#include "card/FileExists.h"
#include "card/NativePath.h"
#include "filelist/AddFiles.h"
#include "filelist/AddFolder.h"
#include "filelist/FileListModel.h"
#include "filelist/PathRules.h"
#include "results/CardDetails.h"
#include "results/CardExport.h"
#include "results/EditorLaunch.h"
#include "results/OutputTarget.h"
#include "results/ResultsModel.h"
#include "results/ResultsText.h"
#include "results/ResultsView.h"
#include "results/WorkbookExport.h"
#include "search/SearchRun.h"
#include "search/SearchSets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kStartSearching = u"Start Searching"_s;
const QString kStopSearching = u"Stop Searching"_s;
const QString kProgressIdle = u"Progress Bar"_s;
// How often a folder scan lets the window's events run.
constexpr qint64 kTurnIntervalMs = 20;

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

/// The window as the search run sees it: the controls read afresh for every file.
class Form1::SearchHostAdapter final : public SearchHost
{
public:
    explicit SearchHostAdapter(Form1 &form) : m_form(form) {}

    SearchCriteria currentCriteria() override
    {
        SearchCriteria criteria;
        if (m_form.Option3->isChecked())
            criteria.mode = SearchCriteria::Mode::This;
        else if (m_form.Option4->isChecked())
            criteria.mode = SearchCriteria::Mode::Multiple;
        else
            criteria.mode = SearchCriteria::Mode::None;
        criteria.text = m_form.Text1->text();
        // The sets are read only when they are searched: reading them costs a string per
        // set for every file.
        if (criteria.mode == SearchCriteria::Mode::Multiple)
            criteria.sets = m_form.searchSets();
        // Only "Ignore case" turns case-insensitive matching on.
        criteria.ignoreCase = m_form.Option2->isChecked();
        criteria.phoneNumbers = m_form.Check2->isChecked();
        criteria.ignoreAccents = m_form.Check3->isChecked();
        criteria.allProperties = m_form.Check4->isChecked();
        return criteria;
    }

    // The bar and the table are repainted at most about every 50 ms: a repaint of the
    // table costs about 2 ms, of the bar a fraction of that, and the files are searched
    // on the same processors.
    void showProgress(double percent, const QString &text) override
    {
        m_percent = qBound(0, qRound(percent), 100);
        m_text = text;
        if (due(m_progressClock, kRepaintMs))
            flushProgress();
    }

    // Events run for the file in hand when 5 ms have passed since they last ran: a turn
    // costs a few microseconds, as much as searching a small file, and a stop press
    // still ends the run at the next file.
    void processEvents() override
    {
        if (!due(m_eventsClock, kEventsMs))
            return;
        QCoreApplication::processEvents();
        m_eventsClock.start();
    }
    void markBusy() override { m_form.setMousePointer(PointerBusy); }
    // Files are searched on a worker per processor; the window's events and a stop
    // never wait for a file.
    bool staysLive() const override { return true; }
    int searchThreads() const override { return qBound(1, QThread::idealThreadCount(), 8); }

    void addRows(QList<ResultRow> &&rows) override
    {
        m_rows.append(std::move(rows));
        if (due(m_rowsClock, kRepaintMs))
            flushRows();
    }

    /// Shows what is pending: the latest progress and the rows found since.
    void flush()
    {
        flushProgress();
        flushRows();
    }

private:
    static constexpr qint64 kRepaintMs = 50;
    static constexpr qint64 kEventsMs = 5;

    static bool due(const QElapsedTimer &clock, qint64 interval)
    {
        return !clock.isValid() || clock.elapsed() >= interval;
    }

    void flushProgress()
    {
        // After a stop press the bar already reads "Progress Bar" and stays so.
        if (!m_text.isNull() && m_form.PushButton7->text() == kStopSearching) {
            m_form.ProgressBar1->setValue(m_percent);
            m_form.ProgressBar1->setText(m_text);
        }
        m_progressClock.start();
    }

    void flushRows()
    {
        if (!m_rows.isEmpty())
            m_form.m_results->appendRows(std::exchange(m_rows, {}));
        m_rowsClock.start();
    }

    Form1 &m_form;
    QList<ResultRow> m_rows;
    int m_percent = 0;
    QString m_text;
    QElapsedTimer m_progressClock;
    QElapsedTimer m_rowsClock;
    QElapsedTimer m_eventsClock;
};

Form1::Form1(Desktop &desktop, SettingsStore &settings, QString programFolder, QWidget *parent)
    : QMainWindow(parent), m_desktop(desktop), m_settings(settings),
      m_programFolder(std::move(programFolder)), m_fileList(new FileListModel(this)),
      m_results(new ResultsModel(this))
{
    buildControls();
    Form_Load();
}

Form1::~Form1() = default;

QPushButton *Form1::makeButton(const QString &name, const QString &caption)
{
    auto *button = new QPushButton(caption, m_background);
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
    PushButton17 = makeButton(u"PushButton17"_s, u"Save Matching Cards As vCard File"_s);
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
    m_view = new ResultsView(*m_results, this);
    m_view->setObjectName(u"ResultsView"_s);
    ListView2->setModel(m_view);
    ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView2->setItemDelegateForColumn(0, new PathDelegate(ListView2));
    ListView2->setMinimumHeight(line * 4);
    ListView2->viewport()->installEventFilter(this);
    // Value takes the width the other columns leave.
    QHeaderView *columns = ListView2->horizontalHeader();
    columns->setSectionResizeMode(2, QHeaderView::Stretch);
    columns->setMinimumSectionSize(line * 2);
    columns->setSectionsClickable(true);
    m_cardPane = new CardPane(m_resultsSplitter);
    m_cardPane->setMinimumHeight(line * 3);
    m_resultsSplitter->addWidget(ListView2);
    m_resultsSplitter->addWidget(m_cardPane);
    m_resultsSplitter->setStretchFactor(0, 3);
    m_resultsSplitter->setStretchFactor(1, 2);
    Check1 = new QCheckBox(u"Show the card of the selected row"_s, m_background);
    Check1->setObjectName(u"Check1"_s);
    Check1->setChecked(true);

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
    // Each write rewrites the whole settings file, which may be large: the search text
    // is stored at its first key and then once the typing pauses.
    m_text1Delay = new QTimer(this);
    m_text1Delay->setSingleShot(true);
    m_text1Delay->setInterval(500);
    m_statusLine = new QLabel(m_background);
    m_statusLine->setObjectName(u"StatusLine"_s);
    m_statusLine->setTextFormat(Qt::PlainText);
    m_statusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

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
                   [this] { unguarded(u"TickAllShown"_s, [&] { m_view->tickShown(true); }); });
    addTableAction(u"UntickAllAction"_s, u"Untick all"_s,
                   [this] { unguarded(u"UntickAll"_s, [&] { m_results->setAllChecked(false); }); });
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
    addTableAction(u"SaveMatchingCardsAction"_s, PushButton17->text(),
                   [this] { PushButton17_Click(); });
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

    Frame2 = makeFrame(u"Frame2"_s, u"Case Options"_s);
    Option2 = makeOption(u"Option2"_s, u"Ignore case"_s, Frame2);
    Option1 = makeOption(u"Option1"_s, u"Match case"_s, Frame2);
    // Off by default, so that a new user gets the designed search.
    Check2 = makeMatchOption(u"Check2"_s, u"Phone numbers in any format"_s);
    Check3 = makeMatchOption(u"Check3"_s, u"Ignore accents"_s);
    Check4 = makeMatchOption(u"Check4"_s, u"Search all properties"_s);
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
    search->setColumnStretch(1, 1);
    search->setContentsMargins(twipsToPixels(120), twipsToPixels(60), twipsToPixels(120),
                               twipsToPixels(60));
    // The set buttons are as wide as their captions need, not a push button's usual width.
    for (QPushButton *small : {PushButton12, PushButton14, PushButton16, PushButton15}) {
        const QFontMetrics metrics = small->fontMetrics();
        small->setFixedWidth(qMax(metrics.horizontalAdvance(small->text()) + metrics.height(),
                                  2 * metrics.height()));
    }

    arrangeControls(false);
    // A screen too short for the design's column gets the wide arrangement.
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
    // Enter in the search box does what the Start button does.
    connect(Text1, &QLineEdit::returnPressed, PushButton7, &QPushButton::click);
    // Choosing a set, by the pointer or the keyboard, means searching the sets.
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_GotFocus);
    connect(columns, &QHeaderView::sectionClicked, this, &Form1::sortByColumn);
    connect(m_filterBox, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filterDelay, &QTimer::timeout, this, &Form1::applyFilter);
    connect(Option1, &QRadioButton::toggled, this, &Form1::applyFilter);
    const auto status = [this] { updateStatusLine(); };
    connect(m_view, &QAbstractItemModel::rowsInserted, this, status);
    connect(m_view, &QAbstractItemModel::rowsRemoved, this, status);
    connect(m_view, &QAbstractItemModel::modelReset, this, status);
    connect(m_view, &QAbstractItemModel::layoutChanged, this, status);
    connect(m_view, &ResultsView::arranging, this, status);
    connect(m_view, &ResultsView::arranged, this, status);
    connect(ListView2->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showSelectedCard(); });
    connect(m_results, &QAbstractItemModel::modelReset, this, [this] { showSelectedCard(); });
    // A filter may take the selected row out of the table: the pane follows.
    connect(m_view, &QAbstractItemModel::layoutChanged, this, [this] { showSelectedCard(); });
    connect(Check1, &QCheckBox::toggled, this, [this](bool shown) {
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
    connect(PushButton17, &QPushButton::clicked, this, &Form1::PushButton17_Click);
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
}

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

    // The case options in two rows of three, or, beside the search options, three of two.
    delete Frame2->layout();
    auto *cases = new QGridLayout(Frame2);
    const QList<QWidget *> caseOrder = wide
        ? QList<QWidget *>{Option2, Option1, Check3, Check4, Check2}
        : QList<QWidget *>{Option2, Option1, Check3, Check2, Check4};
    cases->addWidget(Option2, 0, 0);
    cases->addWidget(Option1, 0, 1);
    cases->addWidget(Check3, wide ? 1 : 0, wide ? 0 : 2);
    cases->addWidget(Check2, wide ? 2 : 1, 0, 1, 2);
    cases->addWidget(Check4, 1, wide ? 1 : 2);
    cases->setHorizontalSpacing(gap);
    cases->setContentsMargins(gap, gap / 2, gap, gap / 2);
    cases->setColumnStretch(wide ? 2 : 3, 1);

    auto *options = new QBoxLayout(wide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    options->addWidget(Frame1, 3);
    options->addWidget(Frame2, 2);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(m_filterLabel);
    filterRow->addWidget(m_filterBox, 1);
    filterRow->addWidget(Check1);

    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(PushButton2);
    progressRow->addWidget(PushButton5);

    // Open and copy, then save.
    auto *resultButtons = new QGridLayout;
    const QList<QPushButton *> resultOrder{PushButton3, PushButton11, PushButton8,
                                           PushButton4, PushButton13, PushButton17};
    for (int i = 0; i < resultOrder.size(); ++i)
        resultButtons->addWidget(resultOrder.at(i), i / 3, i % 3);

    column->addWidget(ListView1, 1);
    column->addLayout(fileButtons);
    column->addLayout(options);
    column->addLayout(filterRow);
    column->addWidget(m_resultsSplitter, 4);
    column->addWidget(m_statusLine);
    column->addLayout(progressRow);
    column->addLayout(resultButtons);

    // Tab follows the same order.
    QList<QWidget *> order{ListView1};
    order += {fileOrder.cbegin(), fileOrder.cend()};
    order += {Option3,      Text1,        PushButton7,  Option4,     Combo1,
              PushButton12, PushButton14, PushButton16, PushButton15};
    order += caseOrder;
    order += {m_filterBox, Check1, ListView2};
    // The card pane's two lists, side by side.
    for (const QString &inner : {u"CardProperties"_s, u"CardLines"_s}) {
        if (auto *list = m_cardPane->findChild<QWidget *>(inner))
            order.append(list);
    }
    order += {PushButton2, PushButton5};
    order += {resultOrder.cbegin(), resultOrder.cend()};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

bool Form1::needsWideArrangement()
{
    const std::optional<QSize> room = screenRoom();
    return room && m_background->layout()->totalMinimumSize().height() > room->height();
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
        {Check3, Check3->text(), u"Finds letters with or without their accents."_s},
        {Check2, Check2->text(),
         u"Finds a telephone number whatever its spaces, dashes and country code."_s},
        {Check4, Check4->text(), u"Also searches the properties outside the contact's fields."_s},
        {m_filterBox, u"Filter results"_s,
         u"Shows only the result rows that contain this text in any column."_s},
        {Check1, Check1->text(), u"Shows or hides the pane with the whole card."_s},
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
        {PushButton17, PushButton17->text(),
         u"Saves every card with a result row in one vCard file."_s},
        {m_statusLine, u"Result counts"_s, u"How many rows came from how many files and cards."_s},
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

// ---- Start-up --------------------------------------------------------------------------

void Form1::Form_Load()
{
    Guard guard(m_desktop, formLocation(u"Form_Load"_s));
    guard.step(100, [&] { ApplySkin(); });
    const QString hand = m_programFolder + u"/HAND-M.CUR"_s;
    bool handExists = false;
    guard.step(104, [&] { handExists = FileExists(hand); });
    if (handExists) {
        guard.step(106, [&] {
            const QPixmap image(hand);
            if (!image.isNull())
                m_handCursor = QCursor(image);
        });
    }
    const QPixmap drag(m_programFolder + u"/drag.ico"_s);
    if (!drag.isNull())
        m_dragCursor = QCursor(drag);
    guard.step(108, [&] { OpenMakerSiteAtRandom(); });
    guard.step(126, [&] {
        setWindowTitle(QString::fromUtf16(kProductName));
        SetApplicationTitle();
    });
    guard.step(128, [&] { ListView1->horizontalHeader()->show(); });
    guard.step(130, [&] { ListView1->setColumnWidth(0, twipsToPixels(7000)); });
    // The window's size comes before the columns, which share out its width.
    guard.step(136, [&] { restoreWindowLayout(); });
    guard.step(144, [&] { Text1->setText(m_settings.ReadSetting(u"Text1"_s, QString())); });
    guard.step(146, [&] {
        m_findSetsBefore = LoadFindSets(m_settings);
        Combo1->addItems(m_findSetsBefore);
    });
    guard.step(162, [&] { restoreOption(Option1, u"Option1"_s, 0); });
    guard.step(164, [&] { restoreOption(Option2, u"Option2"_s, 1); });
    guard.step(166, [&] { restoreOption(Option3, u"Option3"_s, 1); });
    guard.step(168, [&] { restoreOption(Option4, u"Option4"_s, 0); });
    restoreMatchOptions();
    restoreCardPane();
    // The search box has the focus when the window opens.
    Text1->setFocus(Qt::OtherFocusReason);
}

namespace {

/// Whole numbers from a stored "a,b,c" list, each from 1 to 99999; empty when the text
/// is not such a list of count numbers.
QList<int> storedSizes(const QString &text, qsizetype count)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count)
        return {};
    QList<int> sizes;
    for (const QString &part : parts) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0 || size >= 100000)
            return {};
        sizes.append(size);
    }
    return sizes;
}

} // namespace

void Form1::restoreWindowLayout()
{
    // The design's client area (8040 x 10125 twips) at the desktop's scale, kept on the
    // screen and never smaller than the controls need.
    QSize size(twipsToPixels(8040), twipsToPixels(10125));
    if (const std::optional<QSize> room = screenRoom())
        size = size.boundedTo(*room);
    resize(size.expandedTo(minimumSizeHint()));
    const QByteArray stored
        = QByteArray::fromBase64(m_settings.ReadSetting(u"WindowGeometry"_s, QString()).toLatin1());
    // Qt keeps a restored window on a screen that is there now.
    if (!stored.isEmpty())
        restoreGeometry(stored);
    const QList<int> widths
        = storedSizes(m_settings.ReadSetting(u"ResultsColumns"_s, QString()), 3);
    if (widths.isEmpty()) {
        setDefaultColumnWidths();
        return;
    }
    ListView2->setColumnWidth(0, widths.at(0));
    ListView2->setColumnWidth(1, widths.at(1));
    ListView2->setColumnWidth(3, widths.at(2));
}

void Form1::setDefaultColumnWidths()
{
    // The File and Contact columns a share of the table, the Tag column its longest
    // tag; Value takes the rest.
    const int table = qMax(width() - 2 * twipsToPixels(120), 100);
    const int tag = ListView2->fontMetrics().horizontalAdvance(u"BusinessPhones"_s)
        + ListView2->fontMetrics().height();
    ListView2->setColumnWidth(0, table / 4);
    ListView2->setColumnWidth(1, tag);
    ListView2->setColumnWidth(3, table / 6);
}

void Form1::storeWindowLayout()
{
    m_settings.WriteSetting(u"WindowGeometry"_s, QString::fromLatin1(saveGeometry().toBase64()));
    m_settings.WriteSetting(u"ResultsColumns"_s,
                            u"%1,%2,%3"_s.arg(ListView2->columnWidth(0))
                                .arg(ListView2->columnWidth(1))
                                .arg(ListView2->columnWidth(3)));
}

QList<std::pair<QCheckBox *, QString>> Form1::matchOptionKeys() const
{
    return {
        {Check2, u"PhoneNumbers"_s}, {Check3, u"IgnoreAccents"_s}, {Check4, u"AllProperties"_s}};
}

void Form1::restoreMatchOptions()
{
    for (const auto &[box, key] : matchOptionKeys()) {
        // These options came after the design: a stored value that is not a Boolean
        // leaves the option off, as it starts, instead of reporting at start-up.
        bool on = false;
        try {
            on = textToBoolean(m_settings.ReadSetting(key, u"False"_s));
        } catch (const Failure &) {}
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
}

void Form1::restoreCardPane()
{
    const bool shown = textToBoolean(m_settings.ReadSetting(u"CardPane"_s, u"1"_s));
    {
        const QSignalBlocker quiet(Check1);
        Check1->setChecked(shown);
    }
    // The heights of the table and the pane, as "table,pane" in pixels.
    const QList<int> sizes = storedSizes(m_settings.ReadSetting(u"CardPaneSizes"_s, QString()), 2);
    if (!sizes.isEmpty())
        m_cardPaneSizes = sizes;
    showCardPane(shown);
}

void Form1::storeCardPaneSizes()
{
    const QList<int> sizes = m_resultsSplitter->sizes();
    if (sizes.size() == 2 && sizes.at(1) > 0) {
        m_cardPaneSizes = sizes;
        m_settings.WriteSetting(u"CardPaneSizes"_s, u"%1,%2"_s.arg(sizes.at(0)).arg(sizes.at(1)));
    }
}

void Form1::showCardPane(bool shown)
{
    m_cardPane->setVisible(shown);
    if (!shown)
        return;
    // The heights are set again once the window's layout has made room for the pane.
    const auto restoreSizes = [this] {
        if (!m_cardPaneSizes.isEmpty() && m_cardPane->isVisibleTo(this))
            m_resultsSplitter->setSizes(m_cardPaneSizes);
    };
    restoreSizes();
    QTimer::singleShot(0, this, restoreSizes);
    showSelectedCard();
}

void Form1::showSelectedCard()
{
    if (!m_cardPane->isVisibleTo(this))
        return;
    const qsizetype current = currentSourceRow();
    if (current < 0)
        m_cardPane->clear();
    else
        m_cardPane->showRow(m_results->row(current));
}

void Form1::ApplySkin()
{
    const QString skin = m_programFolder + u"/x/o.cjs"_s;
    if (!QFileInfo(skin).isFile())
        return;
    const QColor face = palette().color(QPalette::Button);
    const auto paint = [face](QWidget *widget) {
        QPalette p = widget->palette();
        p.setColor(QPalette::Window, face);
        widget->setPalette(p);
        widget->setAutoFillBackground(true);
    };
    paint(this);
    paint(m_background);
    for (QWidget *widget : findChildren<QWidget *>()) {
        if (qobject_cast<QRadioButton *>(widget) || qobject_cast<QGroupBox *>(widget)
            || qobject_cast<QLabel *>(widget))
            paint(widget);
    }
    QFile file(skin);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(skin + u": "_s + file.errorString());
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void Form1::OpenMakerSiteAtRandom()
{
    const QUrl page(QString::fromUtf16(kMakerHomePage));
    // Start-up has not set the application's title yet.
    if (m_desktop.randomBelow(100) + 1 == 7 && !m_desktop.openUrl(page))
        m_desktop.message(notOpenedText(m_desktop, page),
                          applicationTitleFor(QString::fromUtf16(kProductName)), MessageButtons::Ok,
                          MessageIcon::None);
}

void Form1::SetApplicationTitle()
{
    m_applicationTitle = applicationTitleFor(QString::fromUtf16(kProductName));
    QGuiApplication::setApplicationDisplayName(m_applicationTitle);
}

void Form1::restoreOption(QRadioButton *option, const QString &key, int defaultValue)
{
    selectOption(option, textToBoolean(m_settings.ReadSetting(key, defaultValue)));
}

void Form1::selectOption(QRadioButton *option, bool selected)
{
    if (selected) {
        option->setChecked(true);
        return;
    }
    // Radio buttons refuse to be unchecked while exclusive; a stored pair may leave
    // neither option of a group selected.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing ends the program at once: a running search does not resume.
    m_closing = true;
    if (m_run)
        m_run->requestStop();
    flushSearchText();
    unguarded(u"Form_Unload"_s, [&] { storeWindowLayout(); });
    event->accept();
    QCoreApplication::quit();
}

// ---- Search criteria -------------------------------------------------------------------

bool Form1::unguarded(const QString &procedure, const std::function<void()> &work)
{
    Guard guard(m_desktop, formLocation(procedure));
    return guard.step(100, work);
}

void Form1::Option1_Click()
{
    unguarded(u"Option1_Click"_s, [&] {
        m_settings.WriteSetting(u"Option1"_s, booleanText(Option1->isChecked()));
        m_settings.WriteSetting(u"Option2"_s, booleanText(Option2->isChecked()));
    });
}

void Form1::Option3_Click()
{
    unguarded(u"Option3_Click"_s, [&] {
        m_settings.WriteSetting(u"Option3"_s, booleanText(Option3->isChecked()));
        m_settings.WriteSetting(u"Option4"_s, booleanText(Option4->isChecked()));
    });
}

void Form1::Text1_Change()
{
    if (m_text1Delay->isActive())
        m_settings.WriteSettingLater(u"Text1"_s, Text1->text());
    else
        storeSearchText([&] { m_settings.WriteSetting(u"Text1"_s, Text1->text()); });
    m_text1Delay->start();
    Option3->setChecked(true);
}

void Form1::flushSearchText()
{
    m_text1Delay->stop();
    storeSearchText([&] { m_settings.flush(); });
}

void Form1::storeSearchText(const std::function<void()> &write)
{
    // While the store cannot be written every keystroke fails the same way: the box
    // is shown for the first one, and again only after a write has succeeded.
    if (!m_text1WriteFailing) {
        m_text1WriteFailing = !unguarded(u"Text1_Change"_s, write);
    } else {
        try {
            write();
            m_text1WriteFailing = false;
        } catch (const Failure &) {}
    }
}

void Form1::Combo1_GotFocus()
{
    Option4->setChecked(true);
}

QStringList Form1::searchSets() const
{
    QStringList sets;
    sets.reserve(Combo1->count());
    for (int i = 0; i < Combo1->count(); ++i)
        sets.append(Combo1->itemText(i));
    return sets;
}

void Form1::storeFindSets()
{
    // Only this window's changes are stored, so that another window's entries stay; a
    // list whose write failed is read back as stored.
    const QStringList sets = searchSets();
    StoreFindSets(m_settings, sets, std::exchange(m_findSetsBefore, sets));
}

void Form1::PushButton12_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton12_Click"_s));
    QString answer;
    guard.step(100, [&] {
        answer = m_desktop.inputBox(u"Enter set:"_s, m_applicationTitle, u"search for this"_s);
    });
    guard.step(102, [&] {
        if (!answer.isEmpty())
            Combo1->addItem(answer);
    });
    guard.step(104, [&] {
        if (Combo1->count() >= 1)
            storeFindSets();
    });
}

void Form1::PushButton14_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton14_Click"_s));
    guard.step(100, [&] {
        if (Combo1->currentIndex() >= 0)
            Combo1->removeItem(Combo1->currentIndex());
    });
    guard.step(102, [&] { storeFindSets(); });
}

void Form1::PushButton15_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton15_Click"_s));
    MessageAnswer answer = MessageAnswer::No;
    guard.step(100, [&] {
        answer = m_desktop.message(u"Are you sure you want to clear this list??"_s,
                                   m_applicationTitle, MessageButtons::YesNo, MessageIcon::None);
    });
    if (answer != MessageAnswer::Yes)
        return;
    guard.step(102, [&] { Combo1->clear(); });
    guard.step(104, [&] {
        m_findSetsBefore.clear();
        m_settings.WriteSetting(u"FindSets"_s, QString());
    });
}

// ---- Search run ------------------------------------------------------------------------

void Form1::showMessage(const QString &text)
{
    m_desktop.message(text, m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
}

void Form1::PushButton7_Click()
{
    // A press while a stopped run winds down would start a run inside the old one.
    if (m_run && m_run->stopRequested())
        return;
    Guard guard(m_desktop, formLocation(u"PushButton7_Click"_s));
    bool stopping = false;
    guard.step(102, [&] { stopping = PushButton7->text() == kStopSearching; });
    if (stopping) {
        guard.step(104, [&] {
            if (m_run)
                m_run->requestStop();
        });
        guard.step(108, [&] { setMousePointer(PointerDefault); });
        guard.step(110, [&] { ProgressBar1->setValue(0); });
        guard.step(112, [&] { ProgressBar1->setText(kProgressIdle); });
        guard.step(114, [&] { PushButton7->setText(kStartSearching); });
        return;
    }
    bool refused = false;
    guard.step(116, [&] { refused = Option3->isChecked() && isBlank(Text1->text()); });
    if (refused) {
        guard.step(118, [&] { showMessage(u"You forgot to input search text"_s); });
        PushButton7->setText(kStartSearching);
        return;
    }
    guard.step(120, [&] { refused = m_fileList->count() == 0; });
    if (refused) {
        guard.step(676, [&] { showMessage(u"No files added."_s); });
        PushButton7->setText(kStartSearching);
        return;
    }
    flushSearchText();
    guard.step(122, [&] { PushButton7->setText(kStopSearching); });
    guard.step(124, [&] { setMousePointer(PointerBusy); });
    guard.step(126, [&] { m_results->clear(); });

    m_stoppedText.clear();
    // The run searches the list as it stands now; later changes wait for the next run.
    SearchRun run(m_fileList->paths());
    m_searchedFiles = run.files();
    SearchHostAdapter host(*this);
    m_run = &run;
    const bool completed = run.run(host, guard);
    m_run = nullptr;
    host.flush();
    if (m_closing)
        return;
    if (!completed)
        m_stoppedText = u"Stopped after %1 of %2 files"_s.arg(
            QLocale().toString(run.filesDone()), QLocale().toString(run.files().size()));
    updateStatusLine();

    guard.step(668, [&] { setMousePointer(PointerDefault); });
    guard.step(670, [&] { ProgressBar1->setValue(0); });
    guard.step(672, [&] { ProgressBar1->setText(kProgressIdle); });
    if (completed)
        guard.step(674, [&] { showMessage(u"Done."_s); });
    guard.step(678, [&] { PushButton7->setText(kStartSearching); });
}

// ---- Lists -----------------------------------------------------------------------------

void Form1::PushButton2_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton2_Click"_s));
    guard.step(100, [&] { m_results->clear(); });
    m_stoppedText.clear();
    updateStatusLine();
}

void Form1::PushButton9_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton9_Click"_s));
    guard.step(100, [&] {
        if (!isBusy())
            m_fileList->clear();
    });
}

void Form1::removeSelectedFile()
{
    if (isBusy() || m_fileList->count() == 0)
        return;
    const QModelIndex current = ListView1->currentIndex();
    if (current.isValid())
        m_fileList->removeAt(current.row() + 1);
}

void Form1::ListView1_KeyDown(int key)
{
    if (key != Qt::Key_Delete || isBusy() || m_fileList->count() == 0)
        return;
    // Every selected entry goes, run by run from the end, so that the positions of the
    // runs still to remove stay as they were.
    const QItemSelection selected = ListView1->selectionModel()->selection();
    QList<std::pair<int, int>> runs;
    for (const QItemSelectionRange &range : selected)
        runs.append({range.top(), range.bottom()});
    std::sort(runs.begin(), runs.end());
    QList<std::pair<int, int>> merged;
    for (const auto &[top, bottom] : std::as_const(runs)) {
        if (!merged.isEmpty() && top <= merged.last().second + 1)
            merged.last().second = qMax(merged.last().second, bottom);
        else
            merged.append({top, bottom});
    }
    for (auto run = merged.crbegin(); run != merged.crend(); ++run)
        m_fileList->removeRange(run->first + 1, run->second - run->first + 1);
}

void Form1::ListView1_DblClick()
{
    removeSelectedFile();
}

void Form1::ListView1_MouseDown(const QPoint &position)
{
    m_listMouseDown = true;
    const QModelIndex pressed = ListView1->indexAt(position);
    if (!pressed.isValid())
        return;
    // A click on an entry makes it the dragged entry; the list itself selects, so that
    // Ctrl and Shift add to the selection.
    ListView1->selectionModel()->setCurrentIndex(pressed, QItemSelectionModel::NoUpdate);
    m_draggedItem = pressed;
    ListView1->viewport()->setCursor(m_dragCursor);
}

void Form1::ListView1_MouseMove(const QPoint &position)
{
    if (!isBusy())
        setMousePointer(PointerDefault);
    if (!m_listMouseDown)
        return;
    const QModelIndex hover = ListView1->indexAt(position);
    if (!hover.isValid() || !m_draggedItem.isValid() || hover.row() == m_draggedItem.row())
        return;
    const int hovered = hover.row() + 1;
    if (m_fileList->text(hovered) == m_fileList->text(m_draggedItem.row() + 1))
        return;
    m_fileList->exchange(m_draggedItem.row() + 1, hovered);
    ListView1->setCurrentIndex(hover);
    m_draggedItem = hover;
    // Scroll on when the pointer is in the first or last visible row.
    const QModelIndex top = ListView1->indexAt(QPoint(1, 1));
    const QModelIndex bottom = ListView1->indexAt(QPoint(1, ListView1->viewport()->height() - 2));
    if (top.isValid() && hover.row() == top.row() && hovered >= 2)
        ListView1->scrollTo(m_fileList->index(hover.row() - 1));
    else if (hover.row() == (bottom.isValid() ? bottom.row() : m_fileList->count() - 1)
             && hovered < m_fileList->count())
        ListView1->scrollTo(m_fileList->index(hover.row() + 1));
}

void Form1::ListView1_MouseUp()
{
    m_listMouseDown = false;
    m_draggedItem = QPersistentModelIndex();
    ListView1->viewport()->setCursor(Qt::ArrowCursor);
}

// ---- Adding files --------------------------------------------------------------------

void Form1::PushButton1_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton1_Click"_s));
    OpenFilesResult chosen;
    guard.step(112, [&] {
        chosen = m_desktop.openFileNames(u"Add File(s) - Hold Ctrl to select multiple files"_s,
                                         u"VCF Files (*.vcf);;All Files (*)"_s);
    });
    if (chosen.tooMany) {
        showMessage(u"You've selected too many files to add.\r\rPlease try adding via the "
                    "\"Add All\" button."_s);
        return;
    }
    if (chosen.files.isEmpty())
        return;
    guard.step(140, [&] { m_fileList->append(dialogSelectionPaths(chosen.files)); });
}

namespace {

/// The name a progress text gives a folder path: its last part, or the path for the root.
QString folderName(const QString &path)
{
    const QString name = QFileInfo(path.endsWith(kSeparator) ? path.chopped(1) : path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

void Form1::addFolderTree(const QString &folder, const QString &extension, Guard &guard, int step)
{
    ++m_adding;
    const auto added = qScopeGuard([this] { --m_adding; });
    QString reading = folderName(folder);
    qsizetype found = 0;
    // Files go into the list in batches: a batch per folder would cost the list view
    // more than the listing when a million files come in thousands of folders.
    QStringList pending;
    const auto insertPending = [&] {
        if (!m_closing)
            m_fileList->append(pending);
        pending.clear();
    };
    ProgressBar1->setText(scanningText(reading, found));
    // Events run at once, so that the window shows the scan, and then about every 20 ms:
    // a repaint for every folder would cost more than its listing. The list is whole
    // whenever another handler may run.
    QElapsedTimer clock;
    clock.start();
    qint64 nextTurn = 0;
    FolderScanHooks hooks;
    hooks.processEvents = [&] {
        if (clock.elapsed() < nextTurn)
            return;
        insertPending();
        QCoreApplication::processEvents();
        nextTurn = clock.elapsed() + kTurnIntervalMs;
    };
    hooks.cancelled = [this] { return m_closing; };
    hooks.report = [this](const QString &location, int failedStep, const QString &description) {
        ShowApplicationError(m_desktop, location, failedStep, description);
    };
    hooks.readingFolder = [&](const QString &path) {
        reading = folderName(path);
        ProgressBar1->setText(scanningText(reading, found));
    };
    hooks.filesListed = [&](const QStringList &files) {
        if (m_closing)
            return;
        found += files.size();
        ProgressBar1->setText(scanningText(reading, found));
        pending += files;
    };
    guard.step(step, [&] { scanFolderFiles(folder, extension, hooks); });
    guard.step(step + 16, insertPending);
}

void Form1::PushButton6_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton6_Click"_s));
    QString extension;
    guard.step(100, [&] {
        extension = m_desktop.inputBox(u"Enter file extension to load:\r\r(* for all files, txt "
                                       u"for all txt files, doc for all "
                                       "doc files, etc.)"_s,
                                       m_applicationTitle,
                                       m_settings.ReadSetting(u"Extension"_s, u"vcf"_s));
        if (!extension.isEmpty())
            m_settings.WriteSetting(u"Extension"_s, extension);
    });
    if (extension.isEmpty())
        return;
    QString folder;
    guard.step(104, [&] {
        folder = m_desktop.browseForFolder(u"Please select folder:"_s,
                                           m_settings.ReadSetting(u"LastFolder"_s, QString()));
    });
    if (folder.isEmpty())
        return;
    guard.step(334, [&] { m_settings.WriteSetting(u"LastFolder"_s, folder); });
    guard.step(112, [&] { setMousePointer(PointerBusy); });
    addFolderTree(folder, extension, guard, 116);
    if (m_closing)
        return;
    guard.step(136, [&] {
        setMousePointer(PointerDefault);
        ProgressBar1->setText(kProgressIdle);
    });
}

namespace {

// A message names at most this many paths that do not exist.
constexpr qsizetype kMissingPathsNamed = 10;

QString notFoundText(const QStringList &missing)
{
    QStringList names;
    for (const QString &path : missing.first(qMin(missing.size(), kMissingPathsNamed)))
        names.append(displayFileName(path));
    if (missing.size() > kMissingPathsNamed)
        names.append(u"(and %1 more)"_s.arg(missing.size() - kMissingPathsNamed));
    return u"File not found:\r\r"_s + names.join(u'\r');
}

} // namespace

void Form1::openPaths(const QStringList &paths)
{
    Guard guard(m_desktop, formLocation(u"openPaths"_s));
    QString extension = m_settings.ReadSetting(u"Extension"_s, u"vcf"_s);
    if (extension.isEmpty())
        extension = u"vcf"_s;
    QStringList missing;
    // Files named one after another go into the list together.
    QStringList files;
    const auto appendFiles = [&] {
        if (!files.isEmpty())
            guard.step(140, [&] { m_fileList->append(files); });
        files.clear();
    };
    bool scanned = false;
    for (const QString &path : paths) {
        if (m_closing)
            return;
        if (FolderExists(path)) {
            appendFiles();
            guard.step(112, [&] { setMousePointer(PointerBusy); });
            addFolderTree(path.endsWith(kSeparator) && path.size() > 1 ? path.chopped(1) : path,
                          extension, guard, 116);
            scanned = true;
        } else if (FileExists(path)) {
            files.append(path);
        } else {
            missing.append(path);
        }
    }
    if (m_closing)
        return;
    appendFiles();
    if (scanned) {
        guard.step(136, [&] {
            setMousePointer(PointerDefault);
            ProgressBar1->setText(m_run ? ProgressBar1->text() : kProgressIdle);
        });
    }
    if (!missing.isEmpty())
        guard.step(150, [&] { showMessage(notFoundText(missing)); });
}

void Form1::ListView1_OLEDragOver(QDragMoveEvent *event)
{
    // Only a list of files can be dropped; anything else shows the no-drop pointer.
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::ListView1_OLEDragDrop(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!data->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(localFilePath(url));
    }
    Guard guard(m_desktop, formLocation(u"ListView1_OLEDragDrop"_s));
    for (const QString &path : std::as_const(paths)) {
        if (m_closing)
            return;
        if (FolderExists(path)) {
            const QString folder
                = path.endsWith(kSeparator) && path.size() > 1 ? path.chopped(1) : path;
            addFolderTree(folder, u"*"_s, guard, 100);
        } else {
            guard.step(100, [&] { m_fileList->append(path); });
        }
    }
    ProgressBar1->setText(m_run ? ProgressBar1->text() : kProgressIdle);
}

void Form1::PushButton10_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton10_Click"_s));
    guard.step(100, [&] { LoadSampleFiles(); });
    guard.step(110, [&] { Text1->setText(u"tech"_s); });
}

void Form1::LoadSampleFiles()
{
    const QString folder = m_programFolder + u"/Samples"_s;
    for (const QString &name : ListFilesInFolder(folder, u"*.*"_s)) {
        const QString path = folder + kSeparator + name;
        if (FileExists(path) && !m_fileList->ListContainsPath(path))
            m_fileList->append(path);
    }
    const MessageAnswer answer = m_desktop.message(
        u"Would you like this software to open the folder where these sample files are stored (so "
        "that you can view them before working with them)?"_s,
        m_applicationTitle, MessageButtons::YesNo, MessageIcon::None);
    const QUrl samples = QUrl::fromLocalFile(folder + kSeparator);
    if (answer == MessageAnswer::Yes && !m_desktop.openUrl(samples))
        showMessage(notOpenedText(m_desktop, samples));
}

void Form1::PushButton16_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton16_Click"_s));
    OpenFilesResult chosen;
    guard.step(108, [&] {
        chosen
            = m_desktop.openFileNames(u"Load List(s) - Hold Ctrl to select multiple list files"_s,
                                      u"Text Files (*.txt);;All Files (*)"_s);
    });
    if (chosen.files.isEmpty())
        return;
    guard.step(114, [&] { setMousePointer(PointerBusy); });
    for (const QString &path : dialogSelectionPaths(chosen.files))
        guard.step(134, [&] { LoadListFile(path); });
    if (Combo1->count() >= 1)
        guard.step(148, [&] { storeFindSets(); });
    guard.step(150, [&] { setMousePointer(PointerDefault); });
}

void Form1::LoadListFile(const QString &path)
{
    if (!FileExists(path)) {
        showMessage(u"File not found"_s);
        return;
    }
    Combo1->addItems(listFileEntries(path));
}

// ---- Taking results out ---------------------------------------------------------------

namespace {

EventPump windowEvents()
{
    return EventPump([] { QCoreApplication::processEvents(); });
}

// Opening more editors than this at once asks first.
constexpr qsizetype kEditorsWithoutQuestion = 20;

} // namespace

void Form1::PushButton8_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton8_Click"_s));
    bool copied = false;
    // A failed copy has been reported: nothing claims that it was done.
    if (!guard.step(100,
                    [&] {
                        EventPump pump = windowEvents();
                        copied = CopyResultsToClipboard(m_desktop, *m_results, &pump);
                    })
        || m_closing)
        return;
    guard.step(102, [&] {
        showMessage(copied ? u"Results have been copied to the clipboard.\r\rClick a text area "
                             "where you normally type and press Ctrl+V to paste the clipboard."_s
                           : u"No rows are ticked."_s);
    });
}

bool Form1::mayReplace(const QString &path)
{
    // Neither the files searched nor those listed for the next search are replaced.
    FileList inputs = m_searchedFiles;
    inputs.append(m_fileList->paths());
    if (const QString problem = outputTargetProblem(path, inputs); !problem.isEmpty()) {
        showMessage(problem);
        return false;
    }
    // A save dialog leaves the question to us, so it is asked once. A folder is no file
    // to replace: its save fails and is reported.
    const QFileInfo target(path);
    return !target.exists() || target.isDir()
        || m_desktop.message(target.fileName()
                                 + u" already exists.\r\rDo you want to replace it?"_s,
                             m_applicationTitle, MessageButtons::YesNo, MessageIcon::None)
        == MessageAnswer::Yes;
}

void Form1::PushButton4_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton4_Click"_s));
    QString path;
    guard.step(106, [&] {
        path = m_desktop.saveFileName(u"Save List"_s, u"Text Files (*.txt);;All Files (*)"_s);
    });
    if (path.isEmpty())
        return;
    bool write = false;
    guard.step(108, [&] { write = mayReplace(path); });
    if (!write)
        return;
    guard.step(110, [&] { setMousePointer(PointerBusy); });
    guard.step(112, [&] {
        EventPump pump = windowEvents();
        const QString text = resultsFileText(*m_results, &pump);
        if (!m_closing)
            WriteTextFile(text, path);
    });
    guard.step(122, [&] { setMousePointer(PointerDefault); });
}

void Form1::PushButton17_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton17_Click"_s));
    if (m_results->count() == 0) {
        guard.step(100, [&] { showMessage(u"Nothing to save."_s); });
        return;
    }
    QString path;
    guard.step(102, [&] {
        path = m_desktop.saveFileName(u"Save Matching Cards"_s, u"vCard Files (*.vcf)"_s);
    });
    if (path.isEmpty())
        return;
    bool write = false;
    guard.step(104, [&] { write = mayReplace(path); });
    if (!write)
        return;
    guard.step(106, [&] { setMousePointer(PointerBusy); });
    std::optional<SavedCards> saved;
    guard.step(108, [&] {
        EventPump pump = windowEvents();
        saved = SaveMatchingCards(matchingCardsOf(*m_results), path, &pump);
    });
    guard.step(110, [&] { setMousePointer(PointerDefault); });
    if (saved && !m_closing)
        guard.step(112, [&] { showMessage(savedCardsText(*saved, QFileInfo(path).fileName())); });
}

bool Form1::SaveResultsAsExcelFileIsExcelInstalled()
{
    if (!spreadsheetProgram(m_desktop).isEmpty())
        return true;
    showMessage(
        u"Excel is not installed on this computer. You need to have it installed to use this "
        "software without error."_s);
    return false;
}

QString Form1::exportedWorkbook() const
{
    return m_exportDir ? m_exportDir->filePath(u"Results.xlsx"_s) : QString();
}

void Form1::PushButton13_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton13_Click"_s));
    if (m_results->count() == 0)
        return;
    bool installed = false;
    guard.step(102, [&] { installed = SaveResultsAsExcelFileIsExcelInstalled(); });
    if (!installed) {
        showMessage(
            u"Excel is not installed on this computer. You need to have it installed to use "
            "this feature."_s);
        return;
    }
    guard.step(104, [&] { setMousePointer(PointerBusy); });
    QList<QStringList> rows;
    guard.step(106, [&] {
        EventPump pump = windowEvents();
        rows = workbookRows(*m_results, &pump);
    });
    if (m_closing)
        return;
    // A new private folder for each export; the last one's file goes with it.
    WorkbookWritten written;
    guard.step(108, [&] {
        m_exportDir = std::make_unique<QTemporaryDir>();
        if (!m_exportDir->isValid())
            throw Failure(u"No temporary folder for the workbook: "_s + m_exportDir->errorString());
        written = writeWorkbook(rows, exportedWorkbook());
        if (!written.problem.isEmpty())
            throw Failure(written.problem);
    });
    guard.step(110, [&] {
        // "-n" opens the file as a template: a new, untitled, unsaved document.
        if (m_exportDir && QFileInfo::exists(exportedWorkbook()))
            m_desktop.startProgram(spreadsheetProgram(m_desktop),
                                   {u"--calc"_s, u"-n"_s, exportedWorkbook()});
    });
    if (written.shortened > 0)
        guard.step(112, [&] { showMessage(shortenedValuesText(written.shortened)); });
    guard.step(176, [&] { setMousePointer(PointerDefault); });
}

void Form1::PushButton3_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton3_Click"_s));
    qsizetype row = -1;
    guard.step(100, [&] {
        const QList<qsizetype> selected = selectedSourceRows();
        row = rowToOpen(*m_results, selected.isEmpty() ? -1 : selected.first());
    });
    if (row >= 0)
        openRowInEditor(u"PushButton3_Click"_s, row);
}

void Form1::openRowInEditor(const QString &procedure, qsizetype row)
{
    Guard guard(m_desktop, formLocation(procedure));
    std::optional<TextEditor> editor;
    QString defaultEntry;
    if (!guard.step(101, [&] { editor = findTextEditor(m_desktop, &defaultEntry); }))
        return;
    guard.step(102, [&] {
        if (!editor) {
            showMessage(noEditorText(defaultEntry));
            return;
        }
        const ResultRow found = m_results->row(row);
        if (!OpenFileInEditor(m_desktop, *editor, found.File, found.Card.line))
            showMessage(editorRefusalText({found.File}));
    });
}

// ---- The results table -----------------------------------------------------------------

qsizetype Form1::sourceRow(const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    const QModelIndex source = m_view->mapToSource(index);
    return source.isValid() && source.row() < m_results->count() ? source.row() : -1;
}

qsizetype Form1::currentSourceRow() const
{
    return sourceRow(ListView2->currentIndex());
}

QList<qsizetype> Form1::selectedSourceRows() const
{
    // In the table's order, as the user sees them.
    QModelIndexList selected = ListView2->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<qsizetype> rows;
    rows.reserve(selected.size());
    for (const QModelIndex &index : std::as_const(selected)) {
        if (const qsizetype row = sourceRow(index); row >= 0)
            rows.append(row);
    }
    return rows;
}

void Form1::sortByColumn(int section)
{
    // Each click on a heading goes on from the order found to ascending, descending and
    // back to the order found; another heading starts ascending.
    int column = section;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (m_view->sortColumn() == section) {
        if (m_view->sortOrder() == Qt::AscendingOrder)
            order = Qt::DescendingOrder;
        else
            column = -1;
    }
    QHeaderView *header = ListView2->horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        header->setSortIndicator(column, order);
    m_view->setSort(column, order);
}

void Form1::applyFilter()
{
    m_filterDelay->stop();
    m_view->setFilter(m_filterBox->text(), !Option1->isChecked());
}

void Form1::updateStatusLine()
{
    const qsizetype rows = m_results->count();
    QString text;
    if (rows > 0 || !m_stoppedText.isEmpty()) {
        const auto counted = [](qsizetype n, const QString &one, const QString &many) {
            return u"%1 %2"_s.arg(QLocale().toString(n), n == 1 ? one : many);
        };
        text = counted(rows, u"row"_s, u"rows"_s) + u" from "_s
            + counted(m_results->fileCount(), u"file"_s, u"files"_s) + u" and "_s
            + counted(m_results->cardCount(), u"card"_s, u"cards"_s);
        if (!m_filterBox->text().isEmpty())
            text += u", %1 shown"_s.arg(QLocale().toString(m_view->shownCount()));
        if (!m_stoppedText.isEmpty())
            text += u". "_s + m_stoppedText;
    }
    if (m_view->isArranging())
        text += (text.isEmpty() ? u""_s : u". "_s) + u"Sorting…"_s;
    m_statusLine->setText(text);
}

void Form1::copyToClipboard(const QString &procedure, const QString &text)
{
    Guard guard(m_desktop, formLocation(procedure));
    guard.step(100, [&] {
        if (!SetClipboardText(m_desktop, text))
            throw Failure(u"The clipboard cannot be written."_s);
    });
}

void Form1::copySelectedRows()
{
    const QList<qsizetype> rows = selectedSourceRows();
    if (!rows.isEmpty())
        copyToClipboard(u"CopyRows"_s, clipboardText(*m_results, rows));
}

void Form1::copyCurrentValue()
{
    if (const qsizetype row = currentSourceRow(); row >= 0)
        copyToClipboard(u"CopyValue"_s, m_results->cell(row, 3));
}

void Form1::openCurrentCard()
{
    if (const qsizetype row = currentSourceRow(); row >= 0)
        openRowInEditor(u"OpenCard"_s, row);
}

void Form1::showCurrentContact()
{
    if (currentSourceRow() < 0)
        return;
    Check1->setChecked(true);
    showSelectedCard();
    m_cardPane->setFocus(Qt::OtherFocusReason);
}

void Form1::PushButton11_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton11_Click"_s));
    if (m_results->count() == 0) {
        guard.step(100, [&] { showMessage(u"Nothing to open."_s); });
        return;
    }
    // One editor for every file, found before anything is asked or started.
    std::optional<TextEditor> editor;
    QString defaultEntry;
    if (!guard.step(101, [&] { editor = findTextEditor(m_desktop, &defaultEntry); }))
        return;
    if (!editor) {
        guard.step(103, [&] { showMessage(noEditorText(defaultEntry)); });
        return;
    }
    QStringList files;
    guard.step(104, [&] { files = distinctResultFiles(*m_results); });
    if (files.size() > kEditorsWithoutQuestion) {
        MessageAnswer answer = MessageAnswer::No;
        guard.step(106, [&] {
            answer = m_desktop.message(
                u"You are about to open %1 files, each in its own editor window.\r\rDo you want to "
                "open them all?"_s.arg(files.size()),
                m_applicationTitle, MessageButtons::YesNo, MessageIcon::None);
        });
        if (answer != MessageAnswer::Yes)
            return;
    }
    guard.step(102, [&] { setMousePointer(PointerBusy); });
    EventPump pump = windowEvents();
    QStringList refused;
    for (const QString &file : std::as_const(files)) {
        pump.tick();
        // "Clear List" may have emptied the table meanwhile.
        if (m_closing || m_results->count() == 0)
            break;
        guard.step(130, [&] {
            if (!OpenFileInEditor(m_desktop, *editor, file))
                refused.append(file);
        });
    }
    guard.step(138, [&] { setMousePointer(PointerDefault); });
    if (!refused.isEmpty() && !m_closing)
        guard.step(140, [&] { showMessage(editorRefusalText(refused)); });
}

// ---- Pointer and help ------------------------------------------------------------------

void Form1::setMousePointer(int kind)
{
    // The search marks every file busy again; the cursor itself changes only when needed.
    if (kind == m_mousePointer && (kind != PointerDefault || !testAttribute(Qt::WA_SetCursor)))
        return;
    m_mousePointer = kind;
    switch (kind) {
    case PointerBusy:
        setCursor(Qt::WaitCursor);
        break;
    case PointerHand:
        setCursor(m_handCursor);
        break;
    default:
        unsetCursor();
        break;
    }
}

bool Form1::isBusy() const
{
    return m_mousePointer == PointerBusy;
}

void Form1::hoverOver(QObject *watched)
{
    if (watched == PushButton7) {
        setMousePointer(PointerHand);
        return;
    }
    if (isBusy())
        return;
    if (qobject_cast<QPushButton *>(watched))
        setMousePointer(PointerHand);
    else
        setMousePointer(PointerDefault);
}

void Form1::PushButton5_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton5_Click"_s));
    guard.step(100, [&] { showMessage(helpMessage()); });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // Children report their creation before every control exists.
    if (!ListView1 || !ListView2 || !Combo1)
        return QMainWindow::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (watched == ListView1->viewport()) {
        const auto position
            = [event] { return static_cast<QMouseEvent *>(event)->position().toPoint(); };
        switch (type) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            ListView1_OLEDragOver(static_cast<QDragMoveEvent *>(event));
            return true;
        case QEvent::Drop:
            ListView1_OLEDragDrop(static_cast<QDropEvent *>(event));
            return true;
        case QEvent::MouseButtonPress:
            ListView1_MouseDown(position());
            break;
        case QEvent::MouseMove:
            ListView1_MouseMove(position());
            // A drag with the button down moves the entry; it does not select a range.
            return m_listMouseDown;
        case QEvent::MouseButtonRelease:
            ListView1_MouseUp();
            break;
        case QEvent::MouseButtonDblClick:
            ListView1_DblClick();
            return true;
        case QEvent::Resize:
            // The column fills the list, and stays wider where it was widened to show
            // long paths whole.
            if (ListView1->columnWidth(0) < ListView1->viewport()->width())
                ListView1->setColumnWidth(0, ListView1->viewport()->width());
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == ListView1 && type == QEvent::KeyPress) {
        ListView1_KeyDown(static_cast<QKeyEvent *>(event)->key());
        return false;
    }
    // A click into the set list means searching the sets; focus that arrives by the
    // keyboard, on its way through the window, does not.
    if (watched == Combo1
        && ((type == QEvent::FocusIn
             && static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
            || type == QEvent::MouseButtonPress)) {
        Combo1_GotFocus();
        return false;
    }
    if (type == QEvent::MouseMove || type == QEvent::Enter) {
        if (watched == m_background || watched == Frame1 || watched == Frame2
            || watched == ListView2->viewport() || qobject_cast<QPushButton *>(watched))
            hoverOver(watched);
    }
    return QMainWindow::eventFilter(watched, event);
}
