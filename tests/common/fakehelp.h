#pragma once

#include "platform/ui/help.h"

#include <vector>

// Records what the program asked the help to show instead of opening a window.
class FakeHelp : public platform::Help {
  public:
    void showContents() override { ++contentsShown; }
    void showTopic(int number) override { topicsShown.push_back(number); }

    int contentsShown = 0;
    std::vector<int> topicsShown;
};
