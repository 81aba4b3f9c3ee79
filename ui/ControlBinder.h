// Shows the session's named control states on the widgets and actions of the same names:
// enabled, visible, checked and caption. Every named control registers here once.
#pragma once

#include <QAction>
#include <QPointer>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "session/ControlStates.h"
#include "session/StateChange.h"

namespace tarnwick::ui {

class TControlBinder {
  public:
    TControlBinder(session::TControlStates& states, session::TStateNotifier& notifier);

    // The action or widget stands for the control of its object name.
    void Bind(QAction* action);
    void Bind(QWidget* widget);
    // Redraws every bound control from the session's states.
    void ApplyAll();

  private:
    void Apply(const std::string& name);

    session::TControlStates& states_;
    session::TStateNotifier::Subscription subscription_;
    std::map<std::string, std::vector<QPointer<QAction>>> actions_;
    std::map<std::string, std::vector<QPointer<QWidget>>> widgets_;
};

}  // namespace tarnwick::ui
