#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <thread>
#include <vector>

#include "files/status.h"

namespace scribeline {

// The autosave of a photo's mask beside the photo: the image path followed by
// "_Mask.autosave.png".
std::string autosavePathBeside(const std::string& imagePath);

// The folder for autosaves whose photo's folder cannot be written:
// $XDG_STATE_HOME/scribeline, or ~/.local/state/scribeline when that is
// unset or not absolute. Empty when neither can be formed.
std::string autosaveStateFolder();

// The autosave of a photo in stateFolder: the photo's file name and a hash of
// its full path (so that photos of the same name in different folders never
// share one), followed by "_Mask.autosave.png".
std::string autosavePathInFolder(const std::string& imagePath,
                                 const std::string& stateFolder);

// Where this run writes its autosave, and what was passed over.
struct AutosavePlace {
  std::string path;
  // One line naming an autosave path that holds something other than a
  // regular file (a symbolic link, a folder, a FIFO): it is left as it is
  // and another place is used. Empty when nothing was passed over.
  std::string notice;
};

// Beside the photo when a file can be made in the photo's folder and
// nothing but a regular file (an earlier autosave) is at the path there;
// else in the state folder (created on demand).
AutosavePlace chooseAutosavePlace(const std::string& imagePath);
std::string chooseAutosavePath(const std::string& imagePath);

// Where an autosave of this photo may lie, in the order they are looked for.
std::vector<std::string> autosaveCandidates(const std::string& imagePath);

// Where an autosave is kept once set aside at start-up: declined at
// "Recover?" (path + "~"), or found unusable (path + ".unusable"). Each
// holds one generation: the next one set aside the same way replaces it.
std::string declinedAutosavePath(const std::string& autosavePath);
std::string unusableAutosavePath(const std::string& autosavePath);

// Writes one line to standard output from any thread: one locked stdio
// write and a flush, so that it never lands inside a message of the key
// loop (whose std::cout is synchronised with stdio and flushed after every
// message).
void printLineFromAnyThread(const std::string& line);

// What an Autosaver says of its background writes.
using AutosaveReport = std::function<void(const std::string& line)>;

struct AutosaveOptions {
  // The longest a noted change waits before it is on disk, the write
  // included, as long as a write takes at most half of it.
  std::chrono::milliseconds delay = std::chrono::seconds(2);
  // After a failed write, the next try comes this much later.
  std::chrono::milliseconds retry = std::chrono::seconds(10);
  // Told, on the writer's thread, of the first failure of a background
  // write ("Could not autosave the mask to PATH: REASON; ...") and of the
  // first success after failures; each line ends in a line feed. May be
  // empty.
  AutosaveReport report;
};

// Writes the mask's latest state to one file, atomically, on a thread of its
// own; the key loop only hands over what changed and never waits for a PNG
// to be written. The file is a PNG made for speed (encodeAutosavePng) and is
// written only where nothing but a regular file is (replaceOwnFile): never
// through a symbolic link.
//
// A noted change is on disk within `delay` of being noted: a write starts so
// that it ends by then, judged by how long the last one took (changes coming
// faster are taken together). A change noted while a write is under way
// waits for its end, so the bound holds while a write takes at most half of
// `delay`. A failed write is tried again every `retry`; flush() writes at
// once from any thread.
//
// The state handed over is kept in two buffers of the mask's size: the
// writer encodes from one while the key loop copies what changed into the
// other, so that a note copies only the area that changed (a pen's dab) and
// never allocates, once both buffers exist.
class Autosaver {
 public:
  // REQUIRES: the folder of path exists.
  explicit Autosaver(std::string path, AutosaveOptions options = {});
  // Stops the thread; a change not yet written stays unwritten.
  ~Autosaver();
  Autosaver(const Autosaver&) = delete;
  Autosaver& operator=(const Autosaver&) = delete;

  const std::string& path() const { return path_; }

  // The mask changed, anywhere: its state is taken for the next write.
  // Called on the key-loop thread.
  void noteChange(const cv::Mat& mask);
  // The mask changed only within `area` since the last note (paint not yet
  // recorded as a step, such as a pen drag under way): only that area is
  // taken. Called on the key-loop thread.
  void notePaint(const cv::Mat& mask, const cv::Rect& area);

  // Writes the newest noted state now, unless the file holds it already;
  // waits for a write under way. Any thread. Ok when the file holds the
  // newest noted state afterwards; else says why not.
  Status flush();

  // Whether the file holds (or held, before a failure) some state of this
  // run's work: there is something to recover.
  bool holdsWork() const;

  // A clean end: stops writing and removes the file (only a regular file).
  void discard();

 private:
  using Clock = std::chrono::steady_clock;

  void run();
  // REQUIRES: writeMutex_ held. Takes the newest state (if newer than the
  // file) and writes it.
  Status writePending();
  // REQUIRES: mutex_ held. When the next background write is due.
  Clock::time_point nextWriteDue() const;

  const std::string path_;
  const AutosaveOptions options_;

  mutable std::mutex mutex_;  // guards the fields down to stopping_
  std::condition_variable wake_;
  // Each buffer differs from the newest noted state at most within its
  // stale area; `current_` is exact (-1 before the first note). The writer
  // encodes from `held_` (-1: none), which no note touches meanwhile.
  cv::Mat buffers_[2];
  cv::Rect stale_[2];
  int current_ = -1;
  int held_ = -1;
  uint64_t notedGeneration_ = 0;
  uint64_t takenGeneration_ = 0;    // by the write under way or the last one
  uint64_t writtenGeneration_ = 0;  // on disk
  Clock::time_point firstUntaken_;  // the oldest change no write has taken
  Clock::time_point retryAt_;       // after a failure: no background write
                                    // before
  Clock::duration lastWrite_{};     // how long the last write took
  bool failing_ = false;            // since the last background failure
  bool everWritten_ = false;
  bool discarded_ = false;
  bool stopping_ = false;

  std::mutex writeMutex_;  // one write at a time, and none after discard
  std::thread thread_;     // last: it starts once the rest is made
};

}  // namespace scribeline
