// Qt widgets and objects belong to their parent, which frees them with itself. MakeChild is
// the one place where such an object is made; nothing else in ui/ news or deletes.
#pragma once

#include <QObject>
#include <utility>

namespace tarnwick::ui {

template <typename T, typename Parent, typename... Args>
T* MakeChild(Parent* parent, Args&&... args) {
    static_assert(std::is_base_of_v<QObject, T>);
    return new T(std::forward<Args>(args)..., parent);  // owned by parent
}

}  // namespace tarnwick::ui
