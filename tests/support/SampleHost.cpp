#include "support/SampleHost.h"

#include "support/Text.h"

namespace extmerge::test {

void BuildSampleHost(FakePlatform& sys) {
  sys.params = {"MyHost"};
  sys.registry["MyHost\\dstDir"] = "C:\\Host\\";
  sys.AddDir("C:\\Host");
  sys.AddDir("C:\\Host\\Data");
  sys.AddDir("C:\\Host\\Data\\Template");
  sys.AddDir("C:\\Host\\Data\\Backgrnd");
  sys.AddDir(kSampleRoot);
  sys.AddFile(kSampleTemplate,
              J("; テンプレート\r\n[人物]\r\nName=太郎,花子,追加素材9\r\n"
                "Dir=t\\taro,t\\hanako,x\\9\r\n\r\n[背景]\r\nName=空\r\nDir=t\\sora\r\n"));
  sys.AddFile(kSampleBackground,
              J("[空]\r\nsky1=bg\\sky1.png\r\nsky2=\r\n[夜]\r\n追加素材_月=m.png\r\n"));
  for (int f = 0; f < 4; ++f) {
    const std::string folder = kSampleRoot + "\\Pack" + std::to_string(f);
    const int pack = f == 3 ? 0 : f;
    sys.AddDir(folder);
    std::string tmpl, back;
    for (int s = 0; s < 3; ++s) {
      const std::string sec = s == 0   ? J("人物")
                              : s == 1 ? J("空")
                                       : J("乗り物") + std::to_string(pack);
      std::string names, dirs, keys;
      for (int e = 0; e < 5; ++e) {
        const std::string id = std::to_string(pack) + "_" + std::to_string(s) + std::to_string(e);
        names += (e ? "," : "") + J(e % 2 ? "追加素材" : "素材") + id;
        dirs += (e ? "," : "") + std::string("ext\\") + id;
        keys += J(e % 2 ? "追加素材" : "") + "k" + id + "=bg\\" + id + ".png\r\n";
      }
      tmpl += "[" + sec + "]\r\nName=" + names + "\r\nDir=" + dirs + "\r\n";
      back += "[" + sec + "]\r\n" + keys;
    }
    sys.AddFile(folder + "\\Template.dat", tmpl);
    sys.AddFile(folder + "\\BackGrnd.dat", back);
  }
}

}  // namespace extmerge::test
