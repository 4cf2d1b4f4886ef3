#include "host/project/MatteFinishing.h"

#include "host/base/HostError.h"
#include "host/project/internal/JsonFields.h"

#include <cmath>
#include <cstdio>

namespace mattix::project {

namespace {

using host::JsonValue;
using internal::Num;
using internal::NumberRange;
using internal::ReadNumber;
using internal::Where;

const char* const kContext = "\"finishing\": ";

constexpr NumberRange kDespill{"despill", 0.0, 100.0};
constexpr NumberRange kDespillEdge{"despillEdge", 0.0, MatteFinishing::kMaxEdge};
constexpr NumberRange kUnmix{"unmix", 0.0, 100.0};
constexpr NumberRange kRefine{"refine", 0.0, MatteFinishing::kMaxRadius};
constexpr NumberRange kClipBlack{"clipBlack", 0.0, 100.0};
constexpr NumberRange kClipWhite{"clipWhite", 0.0, 100.0};
constexpr NumberRange kCloseHoles{"closeHoles", 0.0, 100.0};
constexpr NumberRange kShrinkGrow{"shrinkGrow", -MatteFinishing::kMaxRadius,
                                  MatteFinishing::kMaxRadius};
constexpr NumberRange kFeather{"feather", 0.0, MatteFinishing::kMaxRadius};

MatteShape ReadShape(const JsonValue& v, const std::string& name) {
  const std::string what = Where(name, v) + "\"finishing\": a shape ";
  if (v.kind() != JsonValue::Kind::Object)
    throw host::HostError(what + "must be an object {\"keep\": ..., \"points\": [[x, y], ...]}");
  MatteShape shape;
  bool hasPoints = false;
  for (const JsonValue::Member& m : v.Members()) {
    if (m.first == "keep") {
      if (m.second.kind() != JsonValue::Kind::Bool)
        throw host::HostError(Where(name, m.second) + "\"keep\" must be true or false");
      shape.keep = m.second.AsBool();
    } else if (m.first == "points") {
      hasPoints = true;
      const JsonValue& points = m.second;
      if (points.kind() != JsonValue::Kind::Array ||
          points.Elements().size() > MatteFinishing::kMaxPoints)
        throw host::HostError(Where(name, points) + "\"points\" must be an array of at most " +
                              std::to_string(MatteFinishing::kMaxPoints) + " points [x, y]");
      for (const JsonValue& p : points.Elements()) {
        if (p.kind() != JsonValue::Kind::Array || p.Elements().size() != 2 ||
            p.Elements()[0].kind() != JsonValue::Kind::Number ||
            p.Elements()[1].kind() != JsonValue::Kind::Number)
          throw host::HostError(Where(name, p) + "a point must be [x, y], two numbers");
        const double x = p.Elements()[0].AsNumber(), y = p.Elements()[1].AsNumber();
        if (!(std::fabs(x) <= MatteFinishing::kMaxCoordinate &&
              std::fabs(y) <= MatteFinishing::kMaxCoordinate))
          throw host::HostError(Where(name, p) + "a point lies beyond " +
                                Num(MatteFinishing::kMaxCoordinate) + " pixels");
        shape.points.push_back({x, y});
      }
    } else {
      throw host::HostError(Where(name, m.second) + "unknown member \"" + m.first +
                            "\" of a shape (known: keep, points)");
    }
  }
  if (!hasPoints || shape.points.size() < 3)
    throw host::HostError(what + "needs \"points\" with at least three points");
  return shape;
}

}  // namespace

bool MatteFinishing::IsOff() const {
  return despill == 0.0 && unmix == 0.0 && std::lround(refine) == 0 && clipBlack == 0.0 &&
         clipWhite == 100.0 && closeHoles == 0.0 && shrinkGrow == 0.0 && feather == 0.0 &&
         shapes.empty();
}

MatteFinishing ReadFinishing(const JsonValue& v, const std::string& name) {
  if (v.kind() != JsonValue::Kind::Object)
    throw host::HostError(Where(name, v) + "\"finishing\" must be an object");
  MatteFinishing f;
  for (const JsonValue::Member& m : v.Members()) {
    const std::string& key = m.first;
    const JsonValue& value = m.second;
    if (key == kDespill.key) {
      f.despill = ReadNumber(value, kDespill, name, kContext);
    } else if (key == kUnmix.key) {
      f.unmix = ReadNumber(value, kUnmix, name, kContext);
    } else if (key == kDespillEdge.key) {
      f.despillEdge = ReadNumber(value, kDespillEdge, name, kContext);
    } else if (key == "screen") {
      if (value.kind() != JsonValue::Kind::String ||
          (value.AsString() != "green" && value.AsString() != "blue"))
        throw host::HostError(Where(name, value) +
                              "\"finishing\": \"screen\" must be \"green\" or \"blue\"");
      f.screen = value.AsString() == "blue" ? ScreenChannel::kBlue : ScreenChannel::kGreen;
    } else if (key == kRefine.key) {
      f.refine = ReadNumber(value, kRefine, name, kContext);
    } else if (key == kClipBlack.key) {
      f.clipBlack = ReadNumber(value, kClipBlack, name, kContext);
    } else if (key == kClipWhite.key) {
      f.clipWhite = ReadNumber(value, kClipWhite, name, kContext);
    } else if (key == kCloseHoles.key) {
      f.closeHoles = ReadNumber(value, kCloseHoles, name, kContext);
    } else if (key == kShrinkGrow.key) {
      f.shrinkGrow = ReadNumber(value, kShrinkGrow, name, kContext);
    } else if (key == kFeather.key) {
      f.feather = ReadNumber(value, kFeather, name, kContext);
    } else if (key == "shapes") {
      if (value.kind() != JsonValue::Kind::Array ||
          value.Elements().size() > MatteFinishing::kMaxShapes)
        throw host::HostError(Where(name, value) + "\"finishing\": \"shapes\" must be an array " +
                              "of at most " + std::to_string(MatteFinishing::kMaxShapes) +
                              " shapes");
      for (const JsonValue& s : value.Elements()) f.shapes.push_back(ReadShape(s, name));
    } else {
      throw host::HostError(Where(name, value) + "unknown finishing setting \"" + key +
                            "\" (known: despill, despillEdge, unmix, screen, refine, clipBlack, "
                            "clipWhite, closeHoles, shrinkGrow, feather, shapes)");
    }
  }
  ValidateFinishing(f, Where(name, v));
  return f;
}

JsonValue FinishingToJson(const MatteFinishing& f) {
  JsonValue o = JsonValue::Object();
  o.Add(kDespill.key, JsonValue::Number(f.despill));
  o.Add(kDespillEdge.key, JsonValue::Number(f.despillEdge));
  o.Add(kUnmix.key, JsonValue::Number(f.unmix));
  o.Add("screen", JsonValue::String(f.screen == ScreenChannel::kBlue ? "blue" : "green"));
  o.Add(kRefine.key, JsonValue::Number(f.refine));
  o.Add(kClipBlack.key, JsonValue::Number(f.clipBlack));
  o.Add(kClipWhite.key, JsonValue::Number(f.clipWhite));
  o.Add(kCloseHoles.key, JsonValue::Number(f.closeHoles));
  o.Add(kShrinkGrow.key, JsonValue::Number(f.shrinkGrow));
  o.Add(kFeather.key, JsonValue::Number(f.feather));
  JsonValue shapes = JsonValue::Array();
  for (const MatteShape& s : f.shapes) {
    JsonValue points = JsonValue::Array();
    for (const std::array<double, 2>& p : s.points)
      points.Append(JsonValue::Array({JsonValue::Number(p[0]), JsonValue::Number(p[1])}));
    shapes.Append(JsonValue::Object({{"keep", JsonValue::Bool(s.keep)}, {"points", points}}));
  }
  o.Add("shapes", std::move(shapes));
  return o;
}

void ValidateFinishing(const MatteFinishing& f, const std::string& name) {
  const std::pair<const NumberRange*, double> values[] = {
      {&kDespill, f.despill},       {&kDespillEdge, f.despillEdge}, {&kUnmix, f.unmix},
      {&kRefine, f.refine},         {&kClipBlack, f.clipBlack},     {&kClipWhite, f.clipWhite},
      {&kCloseHoles, f.closeHoles}, {&kShrinkGrow, f.shrinkGrow},   {&kFeather, f.feather}};
  for (const auto& [range, value] : values)
    if (!(value >= range->min && value <= range->max))
      throw host::HostError(name + "finishing " + range->key + " must be " + Num(range->min) +
                            " to " + Num(range->max) + ", not " + Num(value));
  if (!(f.clipBlack < f.clipWhite))
    throw host::HostError(name + "finishing clipBlack (" + Num(f.clipBlack) +
                          ") must be below clipWhite (" + Num(f.clipWhite) + ")");
  if (f.shapes.size() > MatteFinishing::kMaxShapes)
    throw host::HostError(name + "finishing holds more than " +
                          std::to_string(MatteFinishing::kMaxShapes) + " shapes");
  for (const MatteShape& s : f.shapes) {
    if (s.points.size() < 3 || s.points.size() > MatteFinishing::kMaxPoints)
      throw host::HostError(name + "a finishing shape needs 3 to " +
                            std::to_string(MatteFinishing::kMaxPoints) + " points");
    for (const std::array<double, 2>& p : s.points)
      if (!(std::fabs(p[0]) <= MatteFinishing::kMaxCoordinate &&
            std::fabs(p[1]) <= MatteFinishing::kMaxCoordinate))
        throw host::HostError(name + "a finishing shape's point lies beyond " +
                              Num(MatteFinishing::kMaxCoordinate) + " pixels");
  }
}

std::string DescribeFinishing(const MatteFinishing& f) {
  std::vector<std::string> steps;
  const auto number = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return std::string(text);
  };
  if (f.refine > 0) steps.push_back("refine " + number(f.refine) + " px");
  if (f.clipBlack > 0 || f.clipWhite < 100)
    steps.push_back("clip " + number(f.clipBlack) + " to " + number(f.clipWhite) + " %");
  if (f.closeHoles > 0) steps.push_back("close holes " + number(f.closeHoles) + " %");
  if (f.shrinkGrow != 0) steps.push_back("shrink/grow " + number(f.shrinkGrow) + " px");
  if (f.feather > 0) steps.push_back("feather " + number(f.feather) + " px");
  if (f.unmix > 0) steps.push_back("unmix " + number(f.unmix) + " %");
  if (f.despill > 0) steps.push_back("despill " + number(f.despill) + " %");
  if (f.despillEdge > 0) steps.push_back("despill edge " + number(f.despillEdge) + " px");
  if (f.unmix > 0 || f.despill > 0)
    steps.push_back(f.screen == ScreenChannel::kBlue ? "blue screen" : "green screen");
  if (!f.shapes.empty()) steps.push_back(std::to_string(f.shapes.size()) + " shape(s)");
  std::string text;
  for (const std::string& step : steps) text += (text.empty() ? "" : ", ") + step;
  return text.empty() ? "off" : text;
}

}  // namespace mattix::project
