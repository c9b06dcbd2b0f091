// What a renaming job fills: the renaming window and the command line both implement it.
#pragma once

#include <string>

namespace tembrel {

class RenameList {
  public:
    virtual ~RenameList() = default;
    virtual void appendPath(const std::string& path) = 0;
};

}  // namespace tembrel
