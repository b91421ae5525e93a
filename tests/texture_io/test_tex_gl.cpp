// The quorvel-texinfo tool, which loads through the real graphics layer
// (headless GL), on files made by the test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/run_util.h"
#include "testing/temp_log.h"
#include "testing/tex_test_files.h"

using namespace qv::textest;

#ifdef QV_TEXINFO_PATH
TEST(TexGl, TexinfoToolReportsAndWritesPng) {
  const qv::test::TempDir tmp;
  ASSERT_TRUE(tmp.Ok());
  TgaShape tga;
  tga.width = 300;
  tga.height = 200;
  tga.pixels.assign(300 * 200 * 3, 0x7F);
  const std::string in = tmp.Path("big.tga"), out = tmp.Path("out.png");
  ASSERT_TRUE(WriteFile(in, MakeTga(tga)));
  const std::string tool = std::string(QV_TEXINFO_PATH) + " '";
  const qv::test::RunResult r = qv::test::RunCommand(tool + in + "' --png '" + out + "'");
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("format: D3DFMT_X8R8G8B8\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("width: 300\nheight: 200\nlevels: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("file format: TGA\nfile pixel format: D3DFMT_R8G8B8\n"), std::string::npos) << r.out;
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(qv::test::ReadPngRgb(out, w, h, rgb));
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(rgb[0], 0x7F);

  EXPECT_EQ(qv::test::RunCommand(tool + tmp.Path("missing.png") + "'").exitCode, 1);

  // A damaged file: one line on standard error, the loader's code and then
  // the reason of the reader that recognised the file.
  Bytes pixels(32 * 32 * 3);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes jpeg = MakeJpeg(32, 32, false, pixels);
  Bytes cut(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3);
  cut.insert(cut.end(), {0xFF, 0xD9});
  const std::string damaged = tmp.Path("cut.jpg");
  ASSERT_TRUE(WriteFile(damaged, cut));
  const qv::test::RunResult r2 = qv::test::RunCommand("{ " + tool + damaged + "' 2>&1 >/dev/null; }");
  EXPECT_EQ(r2.exitCode, 1);
  EXPECT_EQ(r2.out, "quorvel-texinfo: cannot load " + damaged +
                        ": D3DXERR_INVALIDDATA (no image reader could read the file) [0x88760B59]; "
                        "JPEG: scan cut short\n");
}
#endif
