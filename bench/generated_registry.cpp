#include "bench/generated_registry.h"

#include <algorithm>
#include <set>

namespace bench {
namespace {

// splitmix64: small, fast and the same on every compiler.
struct Random {
  std::uint64_t state = 0;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }
  bool Percent(unsigned chance) { return Below(100) < chance; }
};

const char16_t* const kWords[] = {
    u"Microsoft",
    u"Windows",
    u"CurrentVersion",
    u"Explorer",
    u"Shell",
    u"Parameters",
    u"Enum",
    u"Control",
    u"InprocServer32",
    u"LocalServer32",
    u"DefaultIcon",
    u"Capabilities",
    u"FileAssociations",
    u"Policies",
    u"Settings",
    u"Software",
    u"Classes",
    u"Interface",
    u"TypeLib",
    u"ProgID",
    u"Version",
    u"Services",
    u"Security",
    u"Performance",
    u"Linkage",
    u"Properties",
    u"Device Parameters",
    u"LogConf",
    u"Instance",
    u"Open",
    u"command",
    u"ddeexec",
    u"Application",
    u"Topic",
    u"Drivers",
    u"Printers",
    u"Fonts",
    u"Internet Settings",
    u"ZoneMap",
    u"Domains",
    u"Notifications",
    u"Accessibility",
    u"Keyboard Layout",
    u"International",
    u"Sorting",
    u"Components",
    u"Features",
    u"Products",
    u"Patches",
    u"SourceList",
    u"Media",
    u"Adobe",
    u"Mozilla",
    u"Google",
    u"Update",
    u"Clients",
    u"ClientState",
    u"Contoso",
    u"Fabrikam",
    u"Tools",
    u"Options",
    u"Recent",
    u"History",
    u"Cache",
    u"Telemetry",
    u"Diagnostics",
    u"Audio",
    u"Video",
    u"Display",
    u"Network",
    u"Adapters",
    u"Tcpip",
    u"Interfaces",
    u"Winsock",
    u"Catalog",
    u"Providers",
    u"Print",
};

const char16_t* const kExtensions[] = {u".txt", u".doc", u".xls", u".htm", u".jpg", u".png", u".zip", u".dll",
                                       u".exe", u".msi", u".log", u".xml", u".ini", u".bat", u".ps1", u".cab"};

std::u16string Word(Random& random) { return kWords[random.Below(std::size(kWords))]; }

std::u16string RandomHex(Random& random, int digits) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text;
  for (int i = 0; i < digits; ++i) text += kDigits[random.Below(16)];
  return text;
}

std::u16string Guid(Random& random) {
  return u"{" + RandomHex(random, 8) + u"-" + RandomHex(random, 4) + u"-" + RandomHex(random, 4) + u"-" +
         RandomHex(random, 4) + u"-" + RandomHex(random, 12) + u"}";
}

std::u16string Number(std::size_t n, int width) {
  std::u16string text;
  for (; n > 0 || static_cast<int>(text.size()) < width; n /= 10) text.insert(text.begin(), u'0' + n % 10);
  return text;
}

std::u16string KeyName(Random& random) {
  const std::size_t kind = random.Below(100);
  if (kind < 30) return Guid(random);
  if (kind < 40) return Number(random.Below(10000), 4);
  if (kind < 48) return kExtensions[random.Below(std::size(kExtensions))];
  if (kind < 70) return Word(random) + u"." + Word(random) + u"." + Number(random.Below(20), 1);
  return Word(random);
}

std::u16string Sentence(Random& random, std::size_t words) {
  std::u16string text = Word(random);
  for (std::size_t i = 1; i < words; ++i) text += (random.Percent(30) ? u"\\" : u" ") + Word(random);
  return text;
}

std::vector<std::uint8_t> Bytes(const std::u16string& text, bool terminated) {
  std::vector<std::uint8_t> data;
  for (char16_t unit : text) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) data.insert(data.end(), {0, 0});
  return data;
}

GeneratedValue Sz(std::u16string name, const std::u16string& text, std::uint32_t type = 1) {
  return {std::move(name), type, Bytes(text, true)};
}

GeneratedValue Dword(std::u16string name, std::uint32_t number) {
  return {std::move(name),
          4,
          {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
           static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}

GeneratedValue MultiSz(std::u16string name, const std::vector<std::u16string>& texts) {
  std::vector<std::uint8_t> data;
  for (const auto& text : texts) {
    auto bytes = Bytes(text, true);
    data.insert(data.end(), bytes.begin(), bytes.end());
  }
  data.insert(data.end(), {0, 0});
  return {std::move(name), 7, std::move(data)};
}

GeneratedValue RandomValue(Random& random, std::u16string name) {
  const std::size_t kind = random.Below(100);
  if (kind < 50) {
    // Paths and descriptions, now and then a long one.
    std::size_t words = random.Percent(3) ? 20 + random.Below(60) : 1 + random.Below(6);
    std::u16string text = random.Percent(50) ? u"C:\\Program Files\\" + Sentence(random, words) + u".exe"
                                             : Sentence(random, words);
    return Sz(std::move(name), text);
  }
  if (kind < 75) return Dword(std::move(name), static_cast<std::uint32_t>(random.Next()));
  if (kind < 85) {
    std::vector<std::uint8_t> data(random.Percent(10) ? 256 + random.Below(2048) : 8 + random.Below(120));
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random.Next());
    return {std::move(name), 3, std::move(data)};
  }
  if (kind < 90) return Sz(std::move(name), u"%SystemRoot%\\System32\\" + Word(random) + u".dll", 2);
  if (kind < 95) {
    std::vector<std::u16string> texts;
    for (std::size_t i = 0, n = 1 + random.Below(5); i < n; ++i) texts.push_back(Word(random));
    return MultiSz(std::move(name), texts);
  }
  std::vector<std::uint8_t> data(8);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random.Next());
  return {std::move(name), 11, std::move(data)};
}

std::size_t ValueCount(Random& random) {
  const std::size_t kind = random.Below(100);
  if (kind < 40) return 0;
  if (kind < 75) return 1 + random.Below(2);
  if (kind < 95) return 3 + random.Below(6);
  return 10 + random.Below(21);
}

const char16_t kProductIdentifier[] = u"{6B1F03C2-57A9-4D8E-9C41-E2A0B7D35F18}";

struct Generator {
  Random random;
  std::size_t target = 0;
  bool plant = false;
  const std::function<void(const std::u16string&)>& key;
  const std::function<void(const GeneratedValue&)>& value;
  GeneratedCounts counts;

  void Emit(const std::u16string& path, std::size_t depth) {
    key(path);
    ++counts.keys;
    counts.nameUnits += path.size() - (path.rfind(u'\\') == std::u16string::npos ? 0 : path.rfind(u'\\') + 1);
    counts.deepest = std::max(counts.deepest, depth);
  }

  void Emit(const GeneratedValue& v) {
    value(v);
    ++counts.values;
    counts.valueBytes += v.data.size();
    counts.nameUnits += v.name.size();
    if (v.type == 1 || v.type == 2 || v.type == 7) counts.textUnits += v.data.size() / 2;
  }

  std::u16string Child(const std::u16string& path, const std::u16string& name) {
    return path.empty() ? name : path + u"\\" + name;
  }

  // Entries that carry the product's names, at four fixed points of the walk
  // whatever the registry's size. Each is a leaf or a value, so the shape
  // around it stays as generated.
  void Plant(const std::u16string& path, std::size_t depth) {
    const std::size_t ordinal = counts.keys;
    if (ordinal == target / 5) {
      Emit(Child(path, u"Tarnvol"), depth + 1);
      Emit(Sz(u"ImagePath", u"System32\\drivers\\tarnvol.sys", 2));
    } else if (ordinal == 2 * target / 5) {
      Emit(Child(path, kProductIdentifier), depth + 1);
      Emit(Sz(u"", u"Korvex for Windows"));
    } else if (ordinal == 3 * target / 5) {
      Emit(Dword(u"TarnvolRec", 1));
      Emit(MultiSz(u"UpperFilters", {u"partmgr", u"Tarnvol"}));
      Emit(Dword(kProductIdentifier, 1));
    } else if (ordinal == 4 * target / 5) {
      Emit(Child(path, u"Korvex for Windows 2.1"), depth + 1);
      Emit(Sz(u"DisplayName", u"Korvex for Windows"));
      Emit(Sz(u"ProductCode", kProductIdentifier));
    }
  }

  // One key with its values, then its subkeys sharing what is left of budget
  // (this key included) in skewed parts: most subkeys are leaves or small,
  // a few hold large subtrees.
  void Key(const std::u16string& path, std::size_t depth, std::size_t budget) {
    Emit(path, depth);
    const std::size_t values = ValueCount(random);
    std::set<std::u16string> names;
    if (values > 0 && random.Percent(20)) Emit(Sz(u"", Sentence(random, 1 + random.Below(4))));
    for (std::size_t i = 0; i < values; ++i) {
      std::u16string name = Word(random);
      if (!names.insert(Lower(name)).second) name += Number(i, 1), names.insert(Lower(name));
      Emit(RandomValue(random, name));
    }
    if (plant) Plant(path, depth);
    if (budget <= 1) return;
    std::size_t rest = budget - 1;
    std::size_t fanOut = depth < 2 ? 8 + random.Below(120) : 1 + random.Below(12);
    if (depth >= 24) fanOut = rest;
    fanOut = std::min(fanOut, rest);
    counts.widest = std::max(counts.widest, fanOut);
    std::vector<double> weights(fanOut);
    double total = 0;
    for (auto& weight : weights) {
      double r = static_cast<double>(random.Below(1000) + 1) / 1000.0;
      weight = r * r * r;
      total += weight;
    }
    std::vector<std::size_t> shares(fanOut, 1);
    std::size_t handedOut = fanOut;
    for (std::size_t i = 0; i < fanOut; ++i) {
      std::size_t extra = static_cast<std::size_t>(static_cast<double>(rest - fanOut) * weights[i] / total);
      shares[i] += extra;
      handedOut += extra;
    }
    shares[random.Below(fanOut)] += rest - handedOut;
    std::set<std::u16string> keyNames;
    for (std::size_t i = 0; i < fanOut; ++i) {
      std::u16string name = KeyName(random);
      while (!keyNames.insert(Lower(name)).second) name += u"_" + Number(i, 1);
      Key(Child(path, name), depth + 1, shares[i]);
    }
  }

  static std::u16string Lower(std::u16string text) {
    for (auto& unit : text)
      if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 0x20);
    return text;
  }
};

}  // namespace

GeneratedCounts GenerateRegistry(std::size_t keys, std::uint64_t seed, bool plant,
                                 const std::function<void(const std::u16string& path)>& key,
                                 const std::function<void(const GeneratedValue& value)>& value) {
  Generator generator{Random{seed}, keys, plant, key, value, {}};
  generator.Key(u"", 0, keys);
  return generator.counts;
}

PlantedMatches Planted() { return {2, 3, 2}; }

}  // namespace bench
