#include "ui/ControlBinder.h"

#include <QAbstractButton>

#include "session/DisplayText.h"

namespace tarnwick::ui {

TControlBinder::TControlBinder(session::TControlStates& states, session::TStateNotifier& notifier)
    : states_(states) {
    subscription_ = notifier.Subscribe(
        static_cast<session::TChangeMask>(session::TChange::Controls), [this](session::TChange) {
            for (const std::string& n : states_.Changed()) Apply(n);
        });
}

void TControlBinder::Bind(QAction* action) {
    const std::string name = action->objectName().toStdString();
    actions_[name].push_back(action);
    Apply(name);
}

void TControlBinder::Bind(QWidget* widget) {
    const std::string name = widget->objectName().toStdString();
    widgets_[name].push_back(widget);
    Apply(name);
}

void TControlBinder::ApplyAll() {
    for (const auto& [name, list] : actions_) Apply(name);
    for (const auto& [name, list] : widgets_) Apply(name);
}

void TControlBinder::Apply(const std::string& name) {
    const session::TControlState& s = states_.Get(name);
    const QString caption = QString::fromStdString(session::DisplayText(s.Caption));
    if (auto it = actions_.find(name); it != actions_.end()) {
        for (const QPointer<QAction>& a : it->second) {
            if (!a) continue;
            a->setEnabled(s.Enabled);
            a->setVisible(s.Visible);
            if (a->isCheckable()) a->setChecked(s.Checked);
            if (!s.Caption.empty()) a->setText(caption);
        }
    }
    if (auto it = widgets_.find(name); it != widgets_.end()) {
        for (const QPointer<QWidget>& w : it->second) {
            if (!w) continue;
            w->setEnabled(s.Enabled);
            w->setVisible(s.Visible);
            if (auto* b = qobject_cast<QAbstractButton*>(w.data())) {
                if (b->isCheckable()) b->setChecked(s.Checked);
                if (!s.Caption.empty()) b->setText(caption);
            }
        }
    }
}

}  // namespace tarnwick::ui
