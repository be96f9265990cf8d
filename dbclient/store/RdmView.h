// A named join over a tree of store tables: the first table added is the
// master, every later one the child of a table already in the tree, linked by
// a field of the parent and a key of the child. The view owns private copies
// of every database description of a connection, so its tables' buffers,
// selections and options disturb no other user of those databases.
//
//   RdmView view(&map, "orders", DefaultTableOptions());
//   view.AddTable("", "SHOP", "CUSTOMER", "", "", "", "");
//   view.AddTable("", "SHOP", "ORDERS", "CUST_ID", "CUSTOMER", "CUST_ID", "");
//   view.Select("", 5);
//   while (view.Next()) view.GetTable("ORDERS")->GetField("AMOUNT").AsDouble();
#pragma once

#include <string>
#include <vector>

#include "DbDescMap.h"
#include "RdmStoreTab.h"

class RdmView {
 public:
  using DescriptionMap = QoMap<std::string, DbDescription*>;

  RdmView();
  RdmView(DbDescMap* map, std::string name, const RdmTableOptions& options);
  RdmView(const RdmView& other);
  // A deep copy: descriptions, the tree with its stores, positions and fields.
  RdmView& operator=(const RdmView& other);
  // Takes over the other's descriptions and tree; the other is left empty.
  RdmView(RdmView&& other) noexcept;
  RdmView& operator=(RdmView&& other) noexcept;
  virtual ~RdmView();

  // Copies every description of the map; false, changing nothing, while the
  // view already holds copies. The options are not used.
  bool Init(DbDescMap* map, std::string name, const RdmTableOptions& options);
  // The first call adds the master (the link arguments are not used); every
  // later one a child of parentAlias, whose records are selected by keyName
  // (childField when empty) for each parent record's parentField. An empty
  // alias is the table name. 2002 for a missing or unknown parent alias or a
  // taken alias, 2000 for an unknown master database.
  void AddTable(std::string alias, std::string database, std::string table, std::string childField,
                std::string parentAlias, std::string parentField, std::string keyName);
  // The table of that alias; 2011 without master, 2002 when absent.
  RdmTable* GetTable(std::string name);
  // The next joined row: the master moves slowest, the child with the
  // greatest alias fastest. Once the rows have ended it answers false until
  // the view is selected again.
  bool Next();
  // The number of joined rows; the walk stands where it stood.
  int Size();
  // The master's selections (2008 without master).
  bool Select(std::string key, unsigned char mode);
  bool SelectGe(std::string key, unsigned char mode);
  bool SelectNe(std::string key, unsigned char mode);
  // Every table in that mode, then master and tables below on their first records.
  void SetMasterDepMode(unsigned char mode);
  int GetTableCount();
  // The tables in pre-order, children in alias order; 2002 out of range.
  RdmTable* operator[](int index);
  // Adds the option whose number is the first byte (a value such as 4, not
  // a digit) to every table of the tree.
  void AddTableOption(const char* option);
  DescriptionMap& GetDescriptionMap() { return m_descriptions; }

 private:
  void Prepare();
  void Clear();
  void DeleteMaster();
  void ClearDescriptions();
  // 2011 [name] at the operation's position when there is no master.
  void RequireMaster(const char* operation, int line) const;
  void Swap(RdmView& other) noexcept;

  std::string m_name;
  RdmStoreTab* m_master = nullptr;  // owned, with its tree
  DescriptionMap m_descriptions;    // owned copies, by database name
  bool m_prepared = false;
  // The walk has given its last row; cleared by a selection or a new walk.
  bool m_ended = false;
  std::vector<RdmTable*> m_tables;  // the tree in pre-order, not owned; empty until asked for
};
