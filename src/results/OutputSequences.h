#pragma once

// The sequences of the output buttons: copying the results, saving them as text, as a
// workbook or as the matching cards, and opening their files in an editor. Each runs its
// numbered steps through the caller's Guard, so that a failure is reported with the
// number the caller gave that step and the sequence goes on as the guard decides.

#include "results/OutputRows.h"

#include <QString>

#include <functional>
#include <memory>

class Desktop;
class FileList;
class Guard;
class QTemporaryDir;
class ResultsModel;
class SettingsStore;

/// What a sequence needs from the window that runs it. The functions may be left empty:
/// no pointer, never closing, no events, nothing that may not be replaced.
struct OutputWindow
{
    Desktop &desktop;
    QString title; ///< the caption of its message boxes
    const ResultsModel &results; ///< the rows to take out, as they stand meanwhile
    /// Which of them, in which order: those the table shows while it filters or sorts.
    OutputRows rows = {};
    std::function<void(bool busy)> pointer = {}; ///< the busy pointer, or the default one
    std::function<bool()> closing = {}; ///< true once the window is closing: work stops
    std::function<void()> events = {}; ///< lets pending window events run
    std::function<FileList()> inputs = {}; ///< the files that no output may replace
    /// Keeps the folder last saved to, for each kind of file; without it a save dialog
    /// opens in the user's documents or home folder.
    SettingsStore *settings = nullptr;
};

struct CopySteps
{
    int copy = 0; ///< the ticked rows to the clipboard
    int report = 0; ///< the message that says whether they went
};

// The outputs take the window's rows in their order. The matching cards alone keep the
// order of their files: a card has rows in many places of a sorted table.

/// "Copy Results To Clipboard": the ticked rows among those taken; the message says how
/// many went when the table filters or sorts.
void runCopyResults(const OutputWindow &window, Guard &guard, const CopySteps &steps);

// A save dialog opens in the folder last saved to for its kind of file, with a name
// suggested; a name typed without an extension gets that of the filter chosen, unless
// it names something that exists. Nothing is written when there is nothing to save.

struct SaveTextSteps
{
    int empty = 0; ///< "Nothing to save."
    int dialog = 0; ///< where to save
    int replace = 0; ///< whether that file may be written, asking to replace it
    int busy = 0;
    int write = 0;
    int idle = 0;
};

/// "Save Results As Text File".
void runSaveResultsText(const OutputWindow &window, Guard &guard, const SaveTextSteps &steps);

struct SaveCardsSteps
{
    int empty = 0; ///< "Nothing to save."
    int dialog = 0;
    int replace = 0;
    int busy = 0;
    int write = 0;
    int idle = 0;
    int report = 0; ///< how many cards were saved, and what was left out
};

/// "Save Matching Cards As vCard File".
void runSaveMatchingCards(const OutputWindow &window, Guard &guard, const SaveCardsSteps &steps);

struct WorkbookSteps
{
    int find = 0; ///< the spreadsheet application
    int busy = 0;
    int rows = 0; ///< the sheet's rows from the table
    int write = 0; ///< a new private folder and the workbook in it
    int start = 0; ///< the spreadsheet application with the workbook
    int shortened = 0; ///< the message about values too long for a cell
    int idle = 0;
};

/// "Save Results As Excel File": the workbook goes into a new private folder that
/// replaces folder (and the last workbook with it) and lives until the next export or
/// the caller's end.
void runSaveResultsWorkbook(const OutputWindow &window, Guard &guard,
                            std::unique_ptr<QTemporaryDir> &folder, const WorkbookSteps &steps);

/// The workbook file in an export's folder; empty without one.
QString workbookIn(const QTemporaryDir *folder);

struct OpenRowSteps
{
    int find = 0; ///< the text editor
    int open = 0; ///< the row's file at its card's line, or the message why not
};

/// Opens the file of a row (from 0) of the results in the text editor.
void runOpenRow(const OutputWindow &window, Guard &guard, qsizetype row, const OpenRowSteps &steps);

struct OpenAllSteps
{
    int empty = 0; ///< "Nothing to open."
    int find = 0; ///< the text editor
    int noEditor = 0; ///< the message that none was found
    int files = 0; ///< the distinct files of the results
    int ask = 0; ///< whether to open many editors at once
    int busy = 0;
    int open = 0; ///< one file
    int idle = 0;
    int refused = 0; ///< the message naming files the editor could not take
};

/// "Open All Files": every distinct file of the results, each in its own editor window.
void runOpenAllFiles(const OutputWindow &window, Guard &guard, const OpenAllSteps &steps);
