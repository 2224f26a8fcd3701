"""What a newcomer meets first: the set-up's packages per release, the README's screen and links."""

import glob
import os
import re
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def packages(release, part):
    with tempfile.NamedTemporaryFile("w") as stand_in:
        stand_in.write(release)
        stand_in.flush()
        done = subprocess.run([os.path.join(ROOT, "scripts", "deps.sh"), part, "--list"],
                              env=dict(os.environ, QUORVEL_OS_RELEASE=stand_in.name),
                              capture_output=True, text=True, timeout=10)
    return done.stdout.split()


class FrontDoorTest(unittest.TestCase):
    def test_each_release_gets_its_own_names(self):
        for part in ("play", "test"):
            got = {name: packages(f"ID={system}\nVERSION_CODENAME={name}\n", part) for system, name
                   in (("debian", "bookworm"), ("debian", "trixie"), ("ubuntu", "noble"))}
            # Ubuntu's chromium is a snap: the web page's test is Debian 12's alone.
            web = ("emscripten", "chromium")
            self.assertEqual(got["noble"], [n for n in got["bookworm"] if n not in web])
            self.assertEqual(all(n in got["bookworm"] for n in web), part == "test")
            for name, names in got.items():
                glut = "libglut-dev" if name == "trixie" else "freeglut3-dev"
                self.assertEqual([n for n in names if "glut" in n], [glut], name)
                self.assertEqual("libonnxruntime-dev" in names, name == "trixie", name)
            self.assertEqual("jack-example-tools" in got["trixie"], part == "test")

    def test_readme_first_screen_pictures_and_links(self):
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
            first_screen = "".join(readme.readlines()[:40])
        self.assertRegex(first_screen, r"!\[[^]]+\]\(docs/\w+\.png\)")
        self.assertRegex(first_screen, r"\n    scripts/run.sh\n")
        for page in [os.path.join(ROOT, "README.md")] + glob.glob(os.path.join(ROOT, "docs/*.md")):
            with open(page, encoding="utf-8") as text:
                for target in re.findall(r"\]\(([^)#:]+)[)#]", text.read()):
                    where = os.path.join(os.path.dirname(page), target)
                    self.assertTrue(os.path.exists(where), f"{page} names {target}")
        pictures = glob.glob(os.path.join(ROOT, "docs", "*.png"))
        self.assertLess(sum(os.path.getsize(p) for p in pictures), 500 * 1024, pictures)


if __name__ == "__main__":
    unittest.main(verbosity=2)
