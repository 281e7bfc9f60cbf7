// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The search run reports every step to an observer. The main window and
// tarnwell-find are two observers of the same run.

#include <QByteArrayView>
#include <QString>

// A file the walk listed: its path as the file system holds it (any bytes),
// valid during the call only (keep a copy to hold on to it), and as text for
// display (UTF-8 decoded; undecodable bytes show as U+FFFD), made on request.
struct FoundFile {
    QByteArrayView nativePath;
    QString path() const;
};

class SearchObserver {
public:
    virtual ~SearchObserver() = default;

    // Panel 1 of the status bar takes this text now. Every text is reported in
    // order; how often the screen is repainted is the front's business.
    virtual void statusTextChanged(const QString &text) = 0;
    // False when the observer ignores status texts: the run then does not make
    // them (saves building a text per file). Asked once per run.
    virtual bool wantsStatusTexts() const { return true; }

    // The work list is emptied (before the walk) and grows by one file.
    virtual void workListCleared() {}
    virtual void fileListed(const FoundFile &file) = 0;

    // Asked afresh each time the walk reaches a sub-folder.
    virtual bool searchSubfolders() = 0;

    // The viewer's text is emptied (every run, even with an empty keyword).
    virtual void viewerCleared() {}
    // The result list is emptied (only when the keyword has a word).
    virtual void resultsCleared() {}
    // A file has a line holding every word; reported once per file, in scan order.
    virtual void fileMatched(const FoundFile &file) = 0;
    // Something below the folder searched could not be searched, and why (an
    // errno value): a file that cannot be opened or read, a folder that cannot
    // be entered or listed (its path ends in the separator), or a listing that
    // broke off part-way (brokenOff: the entries read before it stay in the
    // run). Folders are reported during the walk, files in scan order.
    virtual void cannotRead(const FoundFile &path, int error, bool brokenOff)
    {
        Q_UNUSED(path);
        Q_UNUSED(error);
        Q_UNUSED(brokenOff);
    }
    // A file taken for a document could not be read as one (damaged,
    // encrypted, over a limit, its reader failed), and why, in English
    // ("encrypted", "over the 30 s time limit"); reported in scan order, in
    // place of cannotRead(), and counted with the unreadable files.
    virtual void cannotReadDocument(const FoundFile &file, const QString &reason)
    {
        Q_UNUSED(file);
        Q_UNUSED(reason);
    }
    // The folder to search could not be opened or listed (error: the errno,
    // SearchOutcome::folderError); reported after the walk, before the end.
    virtual void folderFailed(int error) { Q_UNUSED(error); }
    // The run waits for a file still being read (a big document, storage
    // that waits on each request), or for the workers to catch up: called
    // on the run's thread every few milliseconds meanwhile, so that a window
    // can repaint and take the user's stop.
    virtual void stillWaiting() {}
    // No file matched: the front tells the user ("見つかりませんでした").
    virtual void nothingFound() {}
    // The run could not be completed: the process ran short of descriptors or
    // memory (error: the errno) even after waiting, so files may be missing
    // from the results. Reported instead of nothingFound(), before runEnded().
    virtual void runFailed(int error) { Q_UNUSED(error); }
    // The run is over: after the last status text, or after clearing the viewer
    // when the keyword has no word. matches: the files listed as found.
    // A stopped run ends with the status text texts::searchStopped() and no
    // nothingFound().
    virtual void runEnded(bool keywordEmpty, qsizetype matches)
    {
        Q_UNUSED(keywordEmpty);
        Q_UNUSED(matches);
    }
};
