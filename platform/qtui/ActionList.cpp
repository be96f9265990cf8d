#include "ActionList.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include "Cp1250Codec.h"

ActionList::ActionList(QObject* parent) : QObject(parent) {
  if (auto* dispatcher = QAbstractEventDispatcher::instance(
          QCoreApplication::instance() ? QCoreApplication::instance()->thread() : thread()))
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &ActionList::UpdateAll);
}

void ActionList::Add(QAction* action, std::function<void()> execute, std::function<void()> update) {
  if (action == nullptr) return;
  entries_.push_back({action, std::move(execute), std::move(update)});
  connect(action, &QAction::triggered, this, [this, action] { Execute(action); });
}

ActionList::Entry* ActionList::Find(QAction* action) {
  for (auto& entry : entries_)
    if (entry.action == action) return &entry;
  return nullptr;
}

bool ActionList::Execute(QAction* action) {
  Entry* entry = Find(action);
  if (entry == nullptr || entry->action.isNull()) return false;
  if (entry->update) entry->update();
  // The rule may have removed the action.
  entry = Find(action);
  if (entry == nullptr || entry->action.isNull() || !entry->action->isEnabled()) return false;
  // A copy: the handler may add actions, which moves the entries.
  auto execute = entry->execute;
  if (execute) execute();
  return true;
}

void ActionList::UpdateAll() {
  // A rule that opens an event loop would bring us back here.
  if (updating_) return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(updating_);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].action.isNull() || !entries_[i].update) continue;
    auto update = entries_[i].update;
    update();
  }
}

QAction* ActionList::NewAction(QObject* owner, const char* caption, const char* hint) {
  auto* action = new QAction(Cp1250Codec::ToQString(caption), owner);
  action->setToolTip(Cp1250Codec::ToQString(hint));
  action->setStatusTip(Cp1250Codec::ToQString(hint));
  return action;
}
