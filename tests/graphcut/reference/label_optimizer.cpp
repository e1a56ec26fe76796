// LabelOptimizer: construction, cost setters and the energy of a labelling.
#include "tests/graphcut/reference/label_optimizer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "graphcut/memory.h"

namespace scribeline {

void fatalError(bool condition, const char* message) {
  if (!condition) return;
  std::printf("\n %s \n", message);
  std::exit(1);
}

namespace {

template <typename T>
void fill(T* array, long long count, T value) {
  for (long long i = 0; i < count; ++i) array[i] = value;
}

constexpr const char* kNoMemory = "Not enough memory";

}  // namespace

void LabelOptimizer::checkMemory(bool failed, const char* message) const {
  if (failed && options_.memory.throwWhenExhausted) throw std::bad_alloc();
  fatalError(failed, message);
}

template <typename T>
T* LabelOptimizer::allocateArray(long long count, const char* failure) const {
  if (count < 0) count = 0;
  std::size_t bytes = static_cast<std::size_t>(count) * sizeof(T);
  T* array =
      static_cast<T*>(allocateMemory(options_.memory, bytes == 0 ? 1 : bytes));
  checkMemory(array == nullptr, failure);
  return array;
}

LabelOptimizer::LabelOptimizer(int* labels, int numSites, int numLabels,
                               int dataFlag, int smoothFlag,
                               const OptimizerOptions& options)
    : options_(options),
      width_(0),
      height_(0),
      numSites_(numSites),
      isGrid_(false) {
  initialise(labels, numLabels, dataFlag, smoothFlag);
}

LabelOptimizer::LabelOptimizer(int numSites, int numLabels, int dataFlag,
                               int smoothFlag, const OptimizerOptions& options)
    : LabelOptimizer(nullptr, numSites, numLabels, dataFlag, smoothFlag,
                     options) {}

LabelOptimizer::LabelOptimizer(int* labels, int width, int height,
                               int numLabels, int dataFlag, int smoothFlag,
                               const OptimizerOptions& options)
    : options_(options),
      width_(width),
      height_(height),
      numSites_(0),
      isGrid_(true) {
  fatalError(width < 0 || height < 0 || numLabels < 0,
             "Illegal negative parameters");
  long long sites = static_cast<long long>(width) * height;
  checkMemory(sites > INT_MAX, kNoMemory);
  numSites_ = static_cast<int>(sites);
  initialise(labels, numLabels, dataFlag, smoothFlag);
}

LabelOptimizer::LabelOptimizer(int width, int height, int numLabels,
                               int dataFlag, int smoothFlag,
                               const OptimizerOptions& options)
    : LabelOptimizer(nullptr, width, height, numLabels, dataFlag, smoothFlag,
                     options) {}

void LabelOptimizer::initialise(int* labels, int numLabels, int dataFlag,
                                int smoothFlag) {
  fatalError(numSites_ < 0 || numLabels < 0, "Illegal negative parameters");
  numLabels_ = numLabels;
  random_.reseed(static_cast<unsigned>(std::time(nullptr)));
  dataKind_ = dataFlag == 0 ? kTable : kNotGiven;
  smoothKind_ = smoothFlag == 0 ? kTable : kNotGiven;
  randomOrder_ = true;
  usesCues_ = false;
  dataGivenLater_ = dataFlag;
  smoothGivenLater_ = smoothFlag;
  ownsLabels_ = labels == nullptr ? 1 : 0;
  labels_ = labels;
  dataTable_ = nullptr;
  smoothTable_ = nullptr;
  verticalCues_ = nullptr;
  horizontalCues_ = nullptr;
  neighbors_ = nullptr;
  neighborTableStale_ = true;
  dataFunction_ = nullptr;
  dataFunctionXY_ = nullptr;
  smoothFunctionH_ = nullptr;
  smoothFunctionV_ = nullptr;
  smoothFunction_ = nullptr;
  labelOrder_ = nullptr;
  siteIndex_ = nullptr;
  terminalLedger_ = nullptr;
  hadSourceCapacity_ = nullptr;
  try {
    allocateTables(labels, dataFlag, smoothFlag);
  } catch (...) {
    release();  // only with MemoryPolicy::throwWhenExhausted
    throw;
  }
}

void LabelOptimizer::allocateTables(int* labels, int dataFlag, int smoothFlag) {
  if (labels == nullptr) {
    labels_ = allocateArray<int>(numSites_, "out of memory");
    fill(labels_, numSites_, 0);
  }
  // Also the allocated labels (all 0) are out of range when there are sites
  // but no labels.
  for (int site = 0; site < numSites_; ++site) {
    fatalError(labels_[site] < 0 || labels_[site] >= numLabels_,
               "Initial labels are out of valid range");
  }
  long long dataEntries = static_cast<long long>(numSites_) * numLabels_;
  long long smoothEntries = static_cast<long long>(numLabels_) * numLabels_;
  if (dataFlag == 0) {
    dataTable_ = allocateArray<float>(dataEntries, kNoMemory);
    fill(dataTable_, dataEntries, 0.0f);
  }
  if (smoothFlag == 0) {
    smoothTable_ = allocateArray<float>(smoothEntries, kNoMemory);
    fill(smoothTable_, smoothEntries, 0.0f);
  }
  if (!isGrid_) {
    void* lists = allocateMemory(
        options_.memory,
        sizeof(NeighborList) *
            static_cast<std::size_t>(numSites_ > 0 ? numSites_ : 1));
    checkMemory(lists == nullptr, kNoMemory);
    neighbors_ = static_cast<NeighborList*>(lists);
    for (int site = 0; site < numSites_; ++site)
      new (&neighbors_[site]) NeighborList();
  }
  labelOrder_ = allocateArray<int>(numLabels_, kNoMemory);
  for (int l = 0; l < numLabels_; ++l) labelOrder_[l] = l;
  siteIndex_ = allocateArray<int>(numSites_, kNoMemory);
  fill(siteIndex_, numSites_, -1);
  terminalLedger_ = allocateArray<float>(numSites_, kNoMemory);
  hadSourceCapacity_ = allocateArray<unsigned char>(numLabels_, kNoMemory);
  fill<unsigned char>(hadSourceCapacity_, numLabels_, 0);
}

LabelOptimizer::~LabelOptimizer() { release(); }

void LabelOptimizer::release() {
  if (ownsLabels_) std::free(labels_);
  if (dataGivenLater_ == 0) std::free(dataTable_);
  if (smoothGivenLater_ == 0) std::free(smoothTable_);
  if (neighbors_ != nullptr) {
    for (int site = 0; site < numSites_; ++site)
      neighbors_[site].~NeighborList();
    std::free(neighbors_);
  }
  std::free(labelOrder_);
  std::free(siteIndex_);
  std::free(terminalLedger_);
  std::free(hadSourceCapacity_);
}

void LabelOptimizer::setNeighbors(int site1, int site2, float weight) {
  fatalError(isGrid_, "Cannot use setNeighbors() on a grid graph");
  neighborTableStale_ = true;
  addNeighbor(site1, site2, weight);
  addNeighbor(site2, site1, weight);
}

void LabelOptimizer::addNeighbor(int site, int neighbor, float weight) {
  NeighborRecord* record = new NeighborRecord{neighbor, weight};
  if (neighbors_[site].add(record, options_.memory)) return;
  delete record;
  if (options_.memory.throwWhenExhausted) throw std::bad_alloc();
  std::fputs("\nOut of memory", stdout);
  std::exit(1);
}

void LabelOptimizer::setNeighbors(int site1, int site2) {
  setNeighbors(site1, site2, 1.0f);
}

void LabelOptimizer::setDataCost(int site, int label, float cost) {
  fatalError(dataTable_ == nullptr, "There is no data cost table to set");
  dataTable_[static_cast<std::size_t>(site) * numLabels_ + label] = cost;
}

void LabelOptimizer::setSmoothCost(int label1, int label2, float cost) {
  fatalError(smoothTable_ == nullptr,
             "There is no smoothness cost table to set");
  smoothTable_[static_cast<std::size_t>(label1) * numLabels_ + label2] = cost;
}

namespace {
constexpr const char* kDataAlreadySet =
    "ERROR: you already set the data, or said you'll use member function "
    "setDataCost() to set data";
constexpr const char* kSmoothAlreadySet =
    "ERROR: you already set smoothness, or said you'll use member function "
    "setSmoothCost() to set Smoothness Costs";
}  // namespace

void LabelOptimizer::setDataCost(float* dataTable) {
  fatalError(dataKind_ != kNotGiven, kDataAlreadySet);
  dataTable_ = dataTable;
  dataKind_ = kTable;
}

void LabelOptimizer::setDataCost(DataCostFn fn) {
  fatalError(dataKind_ != kNotGiven, kDataAlreadySet);
  dataFunction_ = fn;
  dataKind_ = kFunction;
}

void LabelOptimizer::setDataCost(DataCostFnXY fn) {
  fatalError(dataKind_ != kNotGiven, kDataAlreadySet);
  fatalError(
      !isGrid_,
      "Cannot use data function based on coordinates for non-grid graph");
  dataFunctionXY_ = fn;
  dataKind_ = kCoordinateFunction;
}

void LabelOptimizer::setSmoothCost(float* smoothTable) {
  fatalError(smoothKind_ != kNotGiven, kSmoothAlreadySet);
  smoothTable_ = smoothTable;
  smoothKind_ = kTable;
  usesCues_ = false;
}

void LabelOptimizer::setSmoothCost(float* smoothTable, float* horizontalCues,
                                   float* verticalCues) {
  fatalError(smoothKind_ != kNotGiven, kSmoothAlreadySet);
  fatalError(!isGrid_,
             "ERROR: for a grid graph, you can't use vertical and horizontal "
             "cues.  Use setNeighbors() member function to encode spatially "
             "varying cues");
  smoothTable_ = smoothTable;
  horizontalCues_ = horizontalCues;
  verticalCues_ = verticalCues;
  smoothKind_ = kTable;
  usesCues_ = true;
}

void LabelOptimizer::setSmoothCost(SmoothCostFnXY horizontal,
                                   SmoothCostFnXY vertical) {
  fatalError(smoothKind_ != kNotGiven, kSmoothAlreadySet);
  fatalError(
      !isGrid_,
      "Cannot use smoothness function based on coordinates for non-grid graph");
  smoothFunctionH_ = horizontal;
  smoothFunctionV_ = vertical;
  smoothKind_ = kCoordinateFunction;
}

void LabelOptimizer::setSmoothCost(SmoothCostFn fn) {
  fatalError(smoothKind_ != kNotGiven, kSmoothAlreadySet);
  smoothFunction_ = fn;
  smoothKind_ = kFunction;
}

void LabelOptimizer::setRandomOrder(bool on) { randomOrder_ = on; }

void LabelOptimizer::resetLabelOrder() {
  for (int l = 0; l < numLabels_; ++l) labelOrder_[l] = l;
}

double LabelOptimizer::dataEnergy() {
  fatalError(dataKind_ == kNotGiven, "Did not initialize the data costs yet");
  double energy = 0;
  for (int site = 0; site < numSites_; ++site)
    energy += dataCost(site, labels_[site]);
  return energy;
}

// Cost of the grid pair (first = left or upper site, second = right or lower).
float LabelOptimizer::gridPairCost(int first, int second, bool horizontal,
                                   int firstLabel, int secondLabel) const {
  switch (smoothKind_) {
    case kTable: {
      float cost =
          smoothTable_[static_cast<std::size_t>(secondLabel) * numLabels_ +
                       firstLabel];
      if (usesCues_)
        cost *= horizontal ? horizontalCues_[first] : verticalCues_[first];
      return cost;
    }
    case kFunction:
      return smoothFunction_(first, second, firstLabel, secondLabel);
    default: {
      SmoothCostFnXY fn = horizontal ? smoothFunctionH_ : smoothFunctionV_;
      return fn(first % width_, first / width_, secondLabel, firstLabel);
    }
  }
}

double LabelOptimizer::gridSmoothEnergy() const {
  double energy = 0;
  for (int y = 0; y < height_; ++y) {
    for (int x = 1; x < width_; ++x) {
      int site = y * width_ + x;
      energy +=
          gridPairCost(site - 1, site, true, labels_[site - 1], labels_[site]);
    }
  }
  for (int y = 1; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      int site = y * width_ + x;
      energy += gridPairCost(site - width_, site, false, labels_[site - width_],
                             labels_[site]);
    }
  }
  return energy;
}

const NeighborTable& LabelOptimizer::neighborTable() {
  if (neighborTableStale_) {
    checkMemory(!neighborTable_.rebuild(neighbors_, numSites_, options_.memory),
                kNoMemory);
    neighborTableStale_ = false;
  }
  return neighborTable_;
}

double LabelOptimizer::generalSmoothEnergy() {
  const NeighborTable& table = neighborTable();
  double energy = 0;
  for (int site = 0; site < numSites_; ++site) {
    int label = labels_[site];
    for (const NeighborRecord* record = table.begin(site);
         record != table.end(site); ++record) {
      if (site >= record->neighbor) continue;
      int other = labels_[record->neighbor];
      if (smoothKind_ == kTable) {
        energy +=
            smoothTable_[static_cast<std::size_t>(other) * numLabels_ + label] *
            record->weight;
      } else {
        energy += smoothFunction_(site, record->neighbor, label, other);
      }
    }
  }
  return energy;
}

double LabelOptimizer::smoothEnergy() {
  fatalError(
      smoothKind_ == kNotGiven,
      "Did not initialize smoothness costs yet, can't compute smooth energy");
  return isGrid_ ? gridSmoothEnergy() : generalSmoothEnergy();
}

double LabelOptimizer::computeEnergy() {
  double smooth = smoothEnergy();
  return smooth + dataEnergy();
}

}  // namespace scribeline
