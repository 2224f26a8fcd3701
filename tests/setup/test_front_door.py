"""What a newcomer meets first: the set-up's package lists for each release it knows (read from
stand-in os-release files), and the README's first screen, pictures and links."""

import glob
import os
import re
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def packages(os_release, part):
    with tempfile.NamedTemporaryFile("w", suffix="os-release") as stand_in:
        stand_in.write(os_release)
        stand_in.flush()
        done = subprocess.run([os.path.join(ROOT, "scripts", "deps.sh"), part, "--list"],
                              env=dict(os.environ, QUORVEL_OS_RELEASE=stand_in.name),
                              capture_output=True, text=True, timeout=10)
    return done.returncode, done.stdout.split(), done.stderr


class ReleasesTest(unittest.TestCase):
    def test_each_release_gets_its_own_names_and_an_unknown_one_nothing(self):
        bookworm = 'ID=debian\nVERSION_CODENAME=bookworm\nPRETTY_NAME="Debian GNU/Linux 12"\n'
        trixie = 'ID=debian\nVERSION_CODENAME=trixie\nPRETTY_NAME="Debian GNU/Linux 13"\n'
        noble = 'ID=ubuntu\nVERSION_CODENAME=noble\nPRETTY_NAME="Ubuntu 24.04.1 LTS"\n'
        for part in ("play", "test"):
            lists = {name: packages(text, part) for name, text in
                     (("bookworm", bookworm), ("trixie", trixie), ("noble", noble))}
            for name, (status, names, _) in lists.items():
                self.assertEqual(status, 0, name)
                self.assertIn("libopencv-dev", names, name)
                glut = "libglut-dev" if name == "trixie" else "freeglut3-dev"
                self.assertEqual([n for n in names if "glut" in n], [glut], name)
                self.assertEqual("libonnxruntime-dev" in names, name == "trixie", name)
            self.assertEqual(lists["noble"], lists["bookworm"])
            self.assertEqual("jack-example-tools" in lists["trixie"][1], part == "test")
        status, names, said = packages('ID=ubuntu\nVERSION_CODENAME=jammy\n'
                                       'PRETTY_NAME="Ubuntu 22.04.5 LTS"\n', "play")
        self.assertEqual((status, names), (1, []))
        self.assertIn("Ubuntu 22.04.5 LTS is not a release this set-up knows", said)


class ReadmeTest(unittest.TestCase):
    def test_first_screen_pictures_and_links(self):
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
            first_screen = "".join(readme.readlines()[:40])
        self.assertRegex(first_screen, r"!\[[^]]+\]\(docs/\w+\.png\)")
        self.assertIn("scripts/run.sh\n", first_screen)
        # Every picture and file a README or doc names is there.
        pages = [os.path.join(ROOT, "README.md")] + glob.glob(os.path.join(ROOT, "docs", "*.md"))
        for page in pages:
            with open(page, encoding="utf-8") as text:
                for target in re.findall(r"\]\(([^)#:]+)[)#]", text.read()):
                    self.assertTrue(os.path.exists(os.path.join(os.path.dirname(page), target)),
                                    f"{page} names {target}")
        pictures = glob.glob(os.path.join(ROOT, "docs", "*.png"))
        self.assertLess(sum(os.path.getsize(p) for p in pictures), 500 * 1024, pictures)


if __name__ == "__main__":
    unittest.main(verbosity=2)
