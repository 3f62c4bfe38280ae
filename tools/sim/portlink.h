// SPDX-License-Identifier: MIT
#pragma once
// The link "comN" in the per-user ports folder that lets the panel reach the
// simulator as "Com N".
#include <QString>

namespace gaspuff::sim {

class PortLink {
  public:
    enum class Outcome {
        Created,           // there was nothing of that name
        ReplacedDangling,  // a link to something that no longer exists was there
        Occupied,          // something else is there and was left alone
        Failed,            // the folder or the link could not be made
    };

    PortLink() = default;
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    ~PortLink() { remove(); }

    // Makes folder/comN a symbolic link to target, the folder too if needed.
    Outcome create(const QString& folder, int n, const QString& target);
    // The link's path, once create was called.
    QString path() const { return path_; }
    // For Occupied and Failed: what is wrong, in a sentence.
    QString problem() const { return problem_; }
    // Removes the link if it still points at this target: a link someone
    // has since put there in its place stays.
    void remove();

  private:
    QString path_;
    QString target_;
    QString problem_;
    bool made_ = false;
};

}  // namespace gaspuff::sim
