// The action list of a window: every action has an execute handler and
// may have an enabling rule (its ...Update handler). The rules run whenever
// the application goes idle and again right before an action executes; an
// action that its rule leaves disabled does nothing. Key shortcuts, menus
// and toolbar buttons all reach the handlers through the QAction.
#pragma once

#include <QAction>
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class ActionList : public QObject {
  Q_OBJECT
 public:
  // Needs the application object, whose idle moments it watches.
  explicit ActionList(QObject* parent = nullptr);

  // update sets the action's enabled state; without one the state stays as
  // the program sets it.
  void Add(QAction* action, std::function<void()> execute, std::function<void()> update = {});

  template <class T>
  void Add(QAction* action, T* owner, void (T::*execute)(), void (T::*update)() = nullptr) {
    Add(
        action, [owner, execute] { (owner->*execute)(); },
        update ? std::function<void()>([owner, update] { (owner->*update)(); })
               : std::function<void()>());
  }

  // A new action of owner's, captioned and hinted (tool tip and status tip)
  // with Windows-1250 texts, added with its handlers.
  template <class T>
  QAction* AddNew(T* owner, const char* caption, const char* hint, void (T::*execute)(),
                  void (T::*update)() = nullptr) {
    QAction* action = NewAction(owner, caption, hint);
    Add(action, owner, execute, update);
    return action;
  }

  // Runs action's rule, then its handler if it is enabled; true when the
  // handler ran. The way for code to execute an action.
  bool Execute(QAction* action);

  // Runs every rule; the idle hook calls it.
  void UpdateAll();

 private:
  static QAction* NewAction(QObject* owner, const char* caption, const char* hint);

  struct Entry {
    QPointer<QAction> action;
    std::function<void()> execute;
    std::function<void()> update;
  };
  Entry* Find(QAction* action);

  std::vector<Entry> entries_;
  bool updating_ = false;
};
