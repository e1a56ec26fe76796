#include "snapping/data_costs.h"

#include <algorithm>

#include "snapping/color_clusters.h"

namespace scribeline {

void seedSuperpixelsFromStrokes(const LabelStrokes& labelStrokes,
                                const int* superpixelMap, int width, int height,
                                std::vector<Superpixel>& superpixels) {
  for (Superpixel& superpixel : superpixels) superpixel.seed = -1;
  const int numLabels = static_cast<int>(labelStrokes.size());
  for (int label = 0; label < numLabels; ++label) {
    const auto raise = [&](int row, int col) {
      int& seed =
          superpixels[superpixelMap[static_cast<size_t>(row) * width + col]]
              .seed;
      seed = std::max(seed, label);
    };
    for (const Stroke& stroke : labelStrokes[label]) {
      if (stroke.size() < 2) continue;
      for (size_t k = 1; k < stroke.size(); ++k) {
        forEachSegmentPixel(stroke[k - 1], stroke[k], height, width, raise);
      }
    }
  }
}

std::vector<ColourModel> buildColourModels(
    const std::vector<Superpixel>& superpixels, int numLabels) {
  std::vector<std::vector<cv::Vec3b>> samples(numLabels);
  for (const Superpixel& superpixel : superpixels) {
    if (superpixel.seed < 0 || superpixel.seed >= numLabels) continue;
    // Truncation towards zero; the means lie in 0 .. 255.
    samples[superpixel.seed].push_back(
        cv::Vec3b(static_cast<unsigned char>(superpixel.meanR),
                  static_cast<unsigned char>(superpixel.meanG),
                  static_cast<unsigned char>(superpixel.meanB)));
  }
  std::vector<ColourModel> models(numLabels);
  std::vector<int> assignment;
  std::vector<cv::Vec3f> centres;
  for (int label = 0; label < numLabels; ++label) {
    const int kept = clusterColors(samples[label], assignment, centres);
    models[label].centres.assign(centres.begin(), centres.begin() + kept);
  }
  return models;
}

namespace {

// Squared distance of the superpixel's mean colour to the nearest centre.
float nearestDistance(const Superpixel& superpixel, const ColourModel& model) {
  float nearest = 0.0f;
  bool first = true;
  for (const cv::Vec3f& centre : model.centres) {
    const float dB = superpixel.meanB - centre[2];
    const float dG = superpixel.meanG - centre[1];
    const float dR = superpixel.meanR - centre[0];
    const float d = dB * dB + dG * dG + dR * dR;
    if (first || d < nearest) nearest = d;
    first = false;
  }
  return nearest;
}

}  // namespace

void computeDataCosts(const std::vector<Superpixel>& superpixels,
                      const std::vector<ColourModel>& models, float lambda,
                      std::vector<float>& table) {
  const int numLabels = static_cast<int>(models.size());
  const float weight = lambda / (1.0f - lambda);
  table.resize(superpixels.size() * numLabels);

  std::vector<bool> usable(numLabels);
  int numUsable = 0;
  for (int l = 0; l < numLabels; ++l) {
    usable[l] = models[l].centres.size() >= kMinModelCentres;
    numUsable += usable[l] ? 1 : 0;
  }

  std::vector<float> distance(numLabels);
  for (size_t s = 0; s < superpixels.size(); ++s) {
    float* costs = table.data() + s * numLabels;
    const Superpixel& superpixel = superpixels[s];
    if (superpixel.seed != -1) {
      for (int l = 0; l < numLabels; ++l) {
        costs[l] = l == superpixel.seed ? 0.0f : kForbiddenCost;
      }
      continue;
    }
    float total = 0.0f;
    for (int l = 0; l < numLabels; ++l) {
      if (!usable[l]) continue;
      distance[l] = nearestDistance(superpixel, models[l]);
      total += distance[l];
    }
    for (int l = 0; l < numLabels; ++l) {
      if (!usable[l]) {
        costs[l] = kForbiddenCost;
      } else if (total > 0.0f) {
        costs[l] = weight * (distance[l] / total);
      } else {
        costs[l] = weight * (1.0f / static_cast<float>(numUsable));
      }
    }
  }
}

}  // namespace scribeline
