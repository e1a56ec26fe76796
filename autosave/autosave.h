#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
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

// Where this run writes its autosave: beside the photo when the photo's
// folder can be written, else in the state folder (created on demand).
std::string chooseAutosavePath(const std::string& imagePath);

// Where an autosave of this photo may lie, in the order they are looked for.
std::vector<std::string> autosaveCandidates(const std::string& imagePath);

// Writes the mask's latest state to one file, atomically (see
// writeMaskFile), on a thread of its own: the key loop only hands over a copy
// and never waits for a PNG to be written.
//
// A noted change is written at most `delay` after it was noted (changes
// coming faster are taken together, never postponed past that); flush()
// writes at once from any thread.
class Autosaver {
 public:
  // REQUIRES: the folder of path exists.
  explicit Autosaver(std::string path,
                     std::chrono::milliseconds delay = std::chrono::seconds(2));
  // Stops the thread; a change not yet written stays unwritten.
  ~Autosaver();
  Autosaver(const Autosaver&) = delete;
  Autosaver& operator=(const Autosaver&) = delete;

  const std::string& path() const { return path_; }

  // The mask changed: keeps a copy of it for the next write. Called on the
  // key-loop thread.
  void noteChange(const cv::Mat& mask);

  // Writes the newest noted state now, unless the file holds it already;
  // waits for a write under way. Any thread. Ok when the file holds the
  // newest noted state afterwards; else says why not.
  Status flush();

  // Whether the file holds (or held, before a failure) some state of this
  // run's work: there is something to recover.
  bool holdsWork() const;

  // A clean end: stops writing and removes the file.
  void discard();

 private:
  void run();
  // REQUIRES: writeMutex_ held. Takes the pending copy (if newer than the
  // file) and writes it.
  Status writePending();

  const std::string path_;
  const std::chrono::milliseconds delay_;

  mutable std::mutex mutex_;  // guards the fields down to stopping_
  std::condition_variable wake_;
  cv::Mat pending_;
  uint64_t notedGeneration_ = 0;
  uint64_t writtenGeneration_ = 0;
  std::chrono::steady_clock::time_point firstUnwritten_;
  bool everWritten_ = false;
  bool writerHolds_ = false;  // a write shares pending_'s pixels
  bool discarded_ = false;
  bool stopping_ = false;

  std::mutex writeMutex_;  // one write at a time, and none after discard
  std::thread thread_;     // last: it starts once the rest is made
};

}  // namespace scribeline
