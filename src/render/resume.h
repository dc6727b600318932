// The journal of the render now running, as the programs keep it (the file itself, its header and
// its records are render/journal.h): what identifies the render (the program version, the picture,
// the bytes of the scene files, the options that decide the pixels, the seed), the rows a journal
// gives back to a render that resumes, the finished rows it takes, and the one-line messages about
// it. A render that cannot write its journal says so once and renders on without it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "render/journal.h"
#include "render/rows_left.h"

// From now on the renders of this process keep journals (the programs; a render of the library
// alone keeps none). A render cut short names finishCommand as the command that finishes it.
void keepRenderJournals(std::string finishCommand);
// No journals, and no scene bytes in the scene's fingerprint, as in a fresh process.
void resetRenderJournals();

// The scene file open as `file`, read through a stream that adds its bytes to the scene's
// fingerprint; closing it closes file. A null file stays null; a directory is given back as it is.
FILE* fingerprintSceneFile(FILE* file);

// A file the scene read whole by other means (a model file), into the scene's fingerprint as a
// scene file read through fingerprintSceneFile goes.
void fingerprintSceneBytes(const unsigned char* bytes, std::size_t size);

// Whether the render draws random numbers: jitter, a lens, smooth shadows or fuzzy reflection.
bool sceneSamplesRandomly();

// The journal of one render, from the opening of the image to the end of the render. Only one is
// open at a time.
class RenderJournal {
public:
    // Opens the journal of the picture file, `width` by `height`, if renders keep journals. When
    // resuming, a matching journal's rows go into the image and are left out of rowsLeft(); any
    // other journal is replaced. Prints what it finds, in one line, when resuming or when the
    // journal cannot be written.
    RenderJournal(const std::string& pictureFile, int width, int height, bool resume);
    // A render that ends without its picture keeps the journal if it holds a row, made durable.
    ~RenderJournal();
    RenderJournal(const RenderJournal&) = delete;
    RenderJournal& operator=(const RenderJournal&) = delete;

    const RowsLeft& rowsLeft() const { return left_; }
    // The progress ticks of the rows the journal gave, once the bar is out.
    void showRestoredProgress() const;
    // The render is complete and its picture about to be written: the journal goes as soon as the
    // picture is in place, even when a signal then ends the process; when the file system has no
    // room for the picture beside the journal, it goes now, as the picture comes first.
    void pictureComplete();
    // The picture is in place: the journal goes.
    void pictureWritten();

private:
    void cannotWrite(const char* reason);
    bool openFile();
    // Reads the journal (its rows too when resuming) and starts appending; false when it cannot.
    bool restore(bool resume, const JournalHeader& header);
    // Ends the journal: removed once the picture is in place, or when it failed or holds no row;
    // otherwise made durable and kept.
    void finish(bool pictureInPlace);

    std::string path_;
    int width_;
    JournalFile file_;
    JournalWriter writer_;
    RowsLeft left_;
    bool writing_ = false;
};

// A finished row (3 * width bytes) for the journal of the render running; any thread.
void journalRow(const unsigned char* row, int y);

// The render is cut short (a signal, a failing rank): the journal is made durable and one line says
// how many rows it keeps and the command that finishes the picture; a journal without rows is
// removed. Safe in a signal handler; only the first call acts.
void journalInterrupted();
