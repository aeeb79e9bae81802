#include "app/records.hpp"

#include "app/parameter_table.hpp"
#include "app/record_fields.hpp"

namespace kelvane::app {

using runtime::Value;

const std::vector<std::string>& parameterFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& f : parameterTable())
      n.emplace_back(f.name);
    return n;
  }();
  return names;
}

Value toValue(const Parameters& p) {
  Value r = Value::record();
  for (const auto& f : parameterTable())
    r.setField(f.name, f.valueIn(p));
  return r;
}

Parameters parametersFromValue(const Value& v, const std::string& name) {
  FieldReader in(v, name);
  Parameters p;
  for (const auto& f : parameterTable()) {
    if (f.isText())
      p.*std::get<std::string Parameters::*>(f.member) = in.text(f.name);
    else
      p.*std::get<double Parameters::*>(f.member) = in.number(f.name);
  }
  in.finish();
  return p;
}

Value toValue(const AppInfo& a) {
  Value r = Value::record();
  r.setField("Name", Value::text(a.Name));
  r.setField("Platform", Value::text(a.Platform));
  r.setField("IsRelease", Value::scalar(a.IsRelease));
  r.setField("Rev", Value::text(a.Rev));
  r.setField("Date", Value::text(a.Date));
  r.setField("CopyrightMsg", Value::text(a.CopyrightMsg));
  r.setField("Notes", Value::text(a.Notes));
  r.setField("NotesLine2", Value::text(a.NotesLine2));
  r.setField("NotesLine3", Value::text(a.NotesLine3));
  r.setField("NotesLine4", Value::text(a.NotesLine4));
  r.setField("NotesLine5", Value::text(a.NotesLine5));
  r.setField("NotesLine6", Value::text(a.NotesLine6));
  r.setField("NotesLine7", Value::text(a.NotesLine7));
  r.setField("ApplicationFunction", Value::text(a.ApplicationFunction));
  r.setField("ParameterFileExtension", Value::text(a.ParameterFileExtension));
  r.setField("ClientWindows", handlesToValue(a.ClientWindows));
  r.setField("LastCaluclatedParameterSet",
             a.LastCaluclatedParameterSet ? toValue(*a.LastCaluclatedParameterSet) : Value());
  r.setField("LastCalcTimeStamp", a.LastCalcTimeStamp
                                      ? Value::row(std::vector<double>(a.LastCalcTimeStamp->begin(),
                                                                       a.LastCalcTimeStamp->end()))
                                      : Value());
  return r;
}

AppInfo appInfoFromValue(const Value& v) {
  FieldReader in(v, "appInfo");
  AppInfo a;
  a.Name = in.text("Name");
  a.Platform = in.text("Platform");
  a.IsRelease = in.number("IsRelease");
  a.Rev = in.text("Rev");
  a.Date = in.text("Date");
  a.CopyrightMsg = in.text("CopyrightMsg");
  a.Notes = in.text("Notes");
  a.NotesLine2 = in.text("NotesLine2");
  a.NotesLine3 = in.text("NotesLine3");
  a.NotesLine4 = in.text("NotesLine4");
  a.NotesLine5 = in.text("NotesLine5");
  a.NotesLine6 = in.text("NotesLine6");
  a.NotesLine7 = in.text("NotesLine7");
  a.ApplicationFunction = in.text("ApplicationFunction");
  a.ParameterFileExtension = in.text("ParameterFileExtension");
  a.ClientWindows = handlesFromValue(in.value("ClientWindows"), in.qualified("ClientWindows"));

  const Value& last = in.value("LastCaluclatedParameterSet");
  if (last.numel() != 0)
    a.LastCaluclatedParameterSet =
        parametersFromValue(last, in.qualified("LastCaluclatedParameterSet"));

  const Value& stamp = in.value("LastCalcTimeStamp");
  if (stamp.numel() != 0) {
    if (!stamp.isReal() || !stamp.isVector() || stamp.numel() != 6)
      throw runtime::Error(in.qualified("LastCalcTimeStamp") +
                           " must be empty or a clock reading of 6 numbers (year, month, day, "
                           "hour, minute, seconds), not " +
                           describe(stamp));
    std::array<double, 6> t{};
    const auto d = stamp.realData();
    std::copy(d.begin(), d.end(), t.begin());
    a.LastCalcTimeStamp = t;
  }
  in.finish();
  return a;
}

Value toValue(const FigureList& f) {
  Value r = Value::record();
  r.setField("AdvSettings", f.AdvSettings ? Value::handle(*f.AdvSettings) : Value());
  return r;
}

FigureList figureListFromValue(const Value& v) {
  FigureList f;
  if (v.kind() == runtime::Kind::Empty) return f;  // the record before any window is loaded
  FieldReader in(v, "figureList");
  const auto ids = handlesFromValue(in.value("AdvSettings"), in.qualified("AdvSettings"));
  if (ids.size() > 1)
    throw runtime::Error("figureList.AdvSettings must hold one window handle, not " +
                         std::to_string(ids.size()));
  if (!ids.empty()) f.AdvSettings = ids.front();
  in.finish();
  return f;
}

}  // namespace kelvane::app
