#pragma once

// The window's controls, their captions and the file that handles them:
//   ListView1     the files to search (drop, Delete, double-click, drag) Form1FileList.cpp
//   PushButton1   "Add VCF File(s)"                                      Form1FileList.cpp
//   PushButton6   "Add All VCF File(s) In Folder"                        Form1FileList.cpp
//   PushButton9   "Clear List" (the files)                               Form1FileList.cpp
//   PushButton10  "Load Sample/Example Files"                            Form1FileList.cpp
//   Frame1        "Search Options": Option3 "Search for this:", Text1,
//                 Option4 "Search for multiple:", Combo1, PushButton12
//                 "+", PushButton14 "-", PushButton16 "Load",
//                 PushButton15 "Clr"                                     Form1SearchPanel.cpp
//   EveryTextCheck "Only cards that hold every text" (in Frame1)          Form1SearchPanel.cpp
//   PushButton7   "Start Searching" / "Stop Searching"                   Form1SearchControl.cpp
//   ProgressBar1  "Progress Bar"                                         Form1SearchControl.cpp
//   Frame2        "Case Options": Option2 "Ignore case", Option1 "Match
//                 case"                                                  Form1SearchPanel.cpp
//   PhoneNumbersCheck  "Phone numbers in any format"                     Form1SearchPanel.cpp
//   PhoneRegionCombo   the region of numbers without a country code      Form1SearchPanel.cpp
//   IgnoreAccentsCheck "Ignore accents"                                  Form1SearchPanel.cpp
//   AllPropertiesCheck "Search all properties"                           Form1SearchPanel.cpp
//   RegularExpressionCheck "Regular expression"                          Form1SearchPanel.cpp
//   WholeWordsCheck    "Whole words only"                                Form1SearchPanel.cpp
//   SearchInButton     "Search in: All fields", with its menu of fields  Form1SearchIn.cpp
//   FilterBox     "Filter:"                                              Form1Results.cpp
//   ShowCardCheck "Show the card of the selected row"                    Form1Results.cpp
//   ListView2     the results, with their context menu                   Form1Results.cpp
//   CardPane      the card of the selected row                           Form1Results.cpp
//   StatusLine    the result counts                                      Form1Results.cpp
//   TextCountsButton "Counts per text", its window and list              Form1Counts.cpp
//   PushButton2   "Clear List" (the results)                             Form1Results.cpp
//   PushButton3   "Open Selected File"                                   Form1Outputs.cpp
//   PushButton11  "Open All Files"                                       Form1Outputs.cpp
//   PushButton8   "Copy Results To Clipboard"                            Form1Outputs.cpp
//   PushButton4   "Save Results As Text File"                            Form1Outputs.cpp
//   PushButton13  "Save Results As Excel File"                           Form1Outputs.cpp
//   SaveCardsButton "Save Matching Cards As vCard File"                  Form1Outputs.cpp
//   FindDuplicatesButton "Find Duplicate Contacts"; ResultsTab "Results"
//                 and DuplicatesTab "Duplicates", the table shown        Form1Duplicates.cpp
//   PushButton5   "Help"                                                 Form1.cpp
//   Command1      hidden, does nothing                                   Form1Controls.cpp
// Numbered names are the design's controls; the others say what they are.
// Form1Controls.cpp builds the controls and connects them; Form1Layout.cpp arranges them
// (Tab order, accessible names, keys, screen fit, stored size); Form1.cpp holds start-up,
// closing, the pointer and the event filter that routes the file list's events.

#include <QCursor>
#include <QDateTime>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QSize>

#include "base/FileList.h"
#include "card/CardBytes.h"
#include "search/SearchReport.h"
#include "search/SearchSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class CardPane;
class OutputRows;
class Desktop;
class DuplicateFinder;
class QToolButton;
class Guard;
class QDragMoveEvent;
class QDropEvent;
class FileListModel;
class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTemporaryDir;
struct OutputWindow;
class QTimer;
class QTableView;
class QTableWidget;
class ResultsModel;
class ResultsProxyModel;
class SettingsStore;
class TextProgressBar;

/// The main window. Its handlers coordinate; the work is done by the core.
class Form1 final : public QMainWindow
{
    Q_OBJECT

public:
    /// Builds the window and runs its start-up sequence. programFolder holds the
    /// optional resources (skin, pointer images, samples).
    Form1(Desktop &desktop, SettingsStore &settings, QString programFolder,
          QWidget *parent = nullptr);
    ~Form1() override;

    /// The window's pointer kind: 0 default, 11 busy, 99 hand.
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int kind);
    bool isBusy() const;

    const QString &applicationTitle() const { return m_applicationTitle; }
    FileListModel &fileList() { return *m_fileList; }
    ResultsModel &results() { return *m_results; }
    /// True from a press of "Start Searching" until the search has ended.
    bool isSearching() const { return m_session.isSearching(); }
    /// True while a folder's tree is being added to the file list.
    bool isAdding() const { return m_adding > 0; }
    /// The workbook file of the last spreadsheet export, or empty.
    QString exportedWorkbook() const;
    /// The pane that shows the card of the selected row.
    CardPane &cardPane() { return *m_cardPane; }
    /// The results as the table shows them: filtered and sorted.
    ResultsProxyModel &resultsProxy() { return *m_proxy; }
    /// The cards of the groups of duplicates last found, one row each.
    ResultsModel &duplicates() { return *m_duplicates; }
    /// True while the table, the card pane and the outputs serve the duplicates.
    bool showsDuplicates() const { return m_shownResults == m_duplicates; }
    /// Adds the files and folders the desktop's "Open with" names (absolute paths): a
    /// file as it is, a folder's tree with the stored extension as "Add All VCF File(s)
    /// In Folder" adds it. Paths that do not exist are named in one message.
    void openPaths(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class SearchDisplay;

    // Form1.cpp
    void Form_Load();
    void ApplySkin();
    void OpenMakerSiteAtRandom();
    void SetApplicationTitle();
    void hoverOver(QObject *watched);
    void showMessage(const QString &text);
    /// Runs an unguarded handler's work, reporting a failure instead of letting it
    /// reach the event loop; false when it failed.
    bool unguarded(const QString &procedure, const std::function<void()> &work);
    void PushButton5_Click();

    // Form1Controls.cpp
    void buildControls();
    QPushButton *makeButton(const QString &name, const QString &caption);
    QGroupBox *makeFrame(const QString &name, const QString &caption);
    static QRadioButton *makeOption(const QString &name, const QString &caption, QWidget *frame);
    QCheckBox *makeMatchOption(const QString &name, const QString &caption);

    // Form1Layout.cpp
    /// Lays the controls out, in the design's column or, for a short or wide screen,
    /// wide; Tab follows them from top to bottom and left to right.
    void arrangeControls(bool wide);
    bool needsWideArrangement();
    /// The room the screen has for the window's client area: its available area less a
    /// title bar; none without a screen.
    std::optional<QSize> screenRoom() const;
    /// Accessible names and descriptions; Enter presses buttons; Tab leaves tables.
    void setUpKeyboardAndNames();
    /// The design's size, or a share of a larger screen, clamped to the screen; then
    /// what was stored at the last close.
    void restoreWindowLayout();
    void storeWindowLayout();
    /// Mnemonic keys for the main buttons, a "Sort by" menu and Space ticking rows in
    /// the table, Esc stopping a search.
    void setUpKeys();

    // Form1FileList.cpp
    void PushButton1_Click();
    void PushButton6_Click();
    void PushButton9_Click();
    void PushButton10_Click();
    void LoadSampleFiles();
    /// Appends the files of a folder's tree that have an extension ("*" for every file),
    /// letting events run and showing the folder being read and the files found.
    void addFolderTree(const QString &folder, const QString &extension, Guard &guard, int step);
    void ListView1_OLEDragOver(QDragMoveEvent *event);
    void ListView1_OLEDragDrop(QDropEvent *event);
    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    void ListView1_MouseDown(const QPoint &position);
    void ListView1_MouseMove(const QPoint &position);
    void ListView1_MouseUp();
    void removeSelectedFile();

    // Form1SearchPanel.cpp
    /// The check boxes of the "Case Options" frame and their settings keys.
    QList<std::pair<QCheckBox *, QString>> matchOptionKeys() const;
    void restoreMatchOptions();
    /// "Phone numbers in any format"'s region: the system's first, then every region
    /// libphonenumber knows, by name; usable while that option is on.
    QComboBox *makePhoneRegionCombo();
    void restorePhoneRegion();
    void PhoneRegionCombo_Click();
    void restoreOption(QRadioButton *option, const QString &key, int defaultValue);
    void selectOption(QRadioButton *option, bool selected);
    void Option1_Click();
    void Option3_Click();
    void Text1_Change();
    /// Writes a search text typed since the last write.
    void flushSearchText();
    void storeSearchText(const std::function<void()> &write);
    void Combo1_GotFocus();
    QStringList searchSets() const;
    void storeFindSets();
    void PushButton12_Click();
    void PushButton14_Click();
    void PushButton15_Click();
    void PushButton16_Click();
    void LoadListFile(const QString &path);

    // Form1SearchIn.cpp
    QPushButton *makeSearchInButton();
    /// The names of the fields and groups ticked; empty for all fields.
    QStringList searchInNames() const;
    /// The button's caption and tooltip, and "All fields" ticked when nothing else is.
    void showSearchIn();
    void SearchIn_Click();
    void restoreSearchIn();

    // Form1SearchControl.cpp
    void PushButton7_Click();
    /// The search options as the controls hold them now.
    SearchChoices searchChoices() const;

    // Form1Results.cpp
    /// Shows the card of the row under the table's cursor in the card pane.
    void showSelectedCard();
    void showCardPane(bool shown);
    void storeCardPaneSizes();
    void restoreCardPane();
    void PushButton2_Click();
    // The results table's own commands.
    qsizetype sourceRow(const QModelIndex &index) const;
    qsizetype currentSourceRow() const;
    QList<qsizetype> selectedSourceRows() const;
    void sortByColumn(int section);
    /// Sorts by a column (-1: the order found) and shows it on the heading.
    void sortTable(int column, Qt::SortOrder order);
    /// Ticks the selected rows, or unticks them when the current row is ticked.
    void tickCurrentRows();
    /// Sizes File, Tag, Contact and Search text to their contents within a share of the
    /// table, unless the user has sized them; Value takes the rest. One column a call:
    /// it calls itself again for the next.
    void fitColumns();
    /// Fits the columns, from the first, once the changes to the table pause.
    void fitColumnsSoon();
    /// Puts the card pane beside the table when the results area is far wider than
    /// high, below it otherwise.
    void arrangeResults();
    void applyFilter();
    void updateStatusLine();
    // Form1Report.cpp
    /// Shows the reading report of the last search.
    void showReadingReport();
    /// The report's button beside the status line, after a search.
    void updateReportButton();
    void copySelectedRows();
    void copyCurrentValue();
    void openCurrentCard();
    void showCurrentContact();
    void copyToClipboard(const QString &procedure, const QString &text);

    // Form1Counts.cpp
    /// The counts button beside the count line and the window it opens.
    void buildTextCounts();
    /// Shows the columns and the button that several search texts call for.
    void searchTextsChanged();
    /// Opens the window of the rows, cards and files each search text found.
    void showTextCounts();
    void refreshTextCounts();
    /// Shows the rows of the text in row of the counts list (0: every text).
    void filterByCountsRow(int row);
    // Form1Duplicates.cpp
    /// The duplicates' table model, its arrangement and the switch between the tables.
    void makeDuplicatesTable();
    /// Searches the files for duplicate contacts, among the cards that match the search
    /// text when one is given, and shows the groups found.
    void FindDuplicatesButton_Click();
    /// Shows the duplicates (or the results) in the table; the card pane, the filter and
    /// the outputs follow.
    void showDuplicates(bool shown);
    /// The status line's text while the duplicates are shown.
    QString duplicatesStatus() const;
    /// The duplicates' cards that "Save Matching Cards" saves: those ticked among the
    /// rows shown, or every row shown when none is ticked.
    OutputRows duplicateRowsToSave() const;

    // Form1Outputs.cpp
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton8_Click();
    void PushButton11_Click();
    void PushButton13_Click();
    void SaveCardsButton_Click();
    void openRowInEditor(const QString &procedure, qsizetype row);
    /// The window as the output sequences see it.
    OutputWindow outputWindow();

    Desktop &m_desktop;
    SettingsStore &m_settings;
    bool m_text1WriteFailing = false;
    QStringList m_findSetsBefore; // the set list as this window last loaded or stored it
    QString m_programFolder;
    QString m_applicationTitle;
    int m_mousePointer = 0;
    QCursor m_handCursor{Qt::PointingHandCursor};
    QCursor m_dragCursor{Qt::ClosedHandCursor};

    FileListModel *m_fileList = nullptr;
    ResultsModel *m_results = nullptr;
    ResultsProxyModel *m_proxy = nullptr;
    ResultsModel *m_duplicates = nullptr;
    ResultsProxyModel *m_duplicatesProxy = nullptr;
    // The table the view, the card pane and the outputs serve: the results or duplicates.
    ResultsModel *m_shownResults = nullptr;
    ResultsProxyModel *m_shownProxy = nullptr;
    // Gathers the cards' keys while a search looks for duplicates.
    std::unique_ptr<DuplicateFinder> m_duplicateFinder;
    qsizetype m_duplicateGroups = -1; // of the last search for them; -1 before one
    QMetaObject::Connection m_currentRowWatch;
    // "Stopped after N of M files" of the last run, or empty when it reached its end.
    QString m_stoppedText;
    // The files the last run went through; -1 while one runs and after "Clear".
    qsizetype m_filesSearched = -1;
    SearchSession m_session;
    // The reading report of the last run; null before the first and after "Clear".
    std::unique_ptr<SearchReport> m_report;
    QPointer<QDialog> m_reportDialog;
    // The files of the last run, which no output may replace.
    FileList m_searchedFiles;
    /// The workbook handed to the spreadsheet application lives here until the
    /// next export or the end of the program.
    std::unique_ptr<QTemporaryDir> m_exportDir;
    bool m_closing = false;
    int m_adding = 0; // folder trees being added: events run meanwhile, so one may start another

    QList<int> m_cardPaneSizes; // the heights of the table and the pane, once known
    bool m_columnsSizedByHand = false; // the results' column widths were set by the user
    bool m_fittingColumns = false;
    std::size_t m_nextColumnFit = 0; // the column fitColumns sizes next

    // Reordering the file list by dragging.
    bool m_listMouseDown = false;
    QPersistentModelIndex m_draggedItem;

    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *PushButton3 = nullptr;
    QPushButton *PushButton4 = nullptr;
    QPushButton *PushButton5 = nullptr;
    QPushButton *PushButton6 = nullptr;
    QPushButton *PushButton7 = nullptr;
    QPushButton *PushButton8 = nullptr;
    QPushButton *PushButton9 = nullptr;
    QPushButton *PushButton10 = nullptr;
    QPushButton *PushButton11 = nullptr;
    QPushButton *PushButton12 = nullptr;
    QPushButton *PushButton13 = nullptr;
    QPushButton *PushButton14 = nullptr;
    QPushButton *PushButton15 = nullptr;
    QPushButton *PushButton16 = nullptr;
    QPushButton *SaveCardsButton = nullptr;
    QPushButton *FindDuplicatesButton = nullptr;
    // The switch between the tables: two buttons, one of them down.
    QWidget *m_resultsTabs = nullptr;
    QToolButton *ResultsTab = nullptr;
    QToolButton *DuplicatesTab = nullptr;
    QPushButton *Command1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QRadioButton *Option3 = nullptr;
    QRadioButton *Option4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QTableView *ListView1 = nullptr;
    QTableView *ListView2 = nullptr;
    TextProgressBar *ProgressBar1 = nullptr;
    QSplitter *m_resultsSplitter = nullptr;
    CardPane *m_cardPane = nullptr;
    QCheckBox *ShowCardCheck = nullptr;
    QCheckBox *PhoneNumbersCheck = nullptr; // "Phone numbers in any format"
    QComboBox *PhoneRegionCombo = nullptr; // the region of its numbers
    QCheckBox *IgnoreAccentsCheck = nullptr; // "Ignore accents"
    QCheckBox *AllPropertiesCheck = nullptr; // "Search all properties"
    QCheckBox *RegularExpressionCheck = nullptr; // "Regular expression"
    QCheckBox *EveryTextCheck = nullptr; // "Only cards that hold every text"
    QPushButton *m_countsButton = nullptr; // "Counts per text"
    QDialog *m_countsWindow = nullptr; // made when first opened
    QTableWidget *m_countsList = nullptr;
    QTimer *m_countsRefresh = nullptr; // gathers the rows' arrivals into one refresh
    QCheckBox *WholeWordsCheck = nullptr; // "Whole words only"
    QPushButton *SearchInButton = nullptr; // "Search in:"
    QList<QAction *> m_searchInChoices; // the groups, then the single fields
    QLineEdit *m_filterBox = nullptr;
    QLabel *m_filterLabel = nullptr;
    QLabel *m_statusLine = nullptr;
    QPushButton *m_reportButton = nullptr; // beside the status line: opens the report
    QTimer *m_filterDelay = nullptr;
    QTimer *m_columnFit = nullptr; // gathers the changes that size the columns anew
    QTimer *m_text1Delay = nullptr; // runs while the search text waits to be written
    QWidget *m_background = nullptr;
};
