"""scripts/test.sh and scripts/package.sh in a scratch checkout, with stand-ins for sudo, the
model set-up and the packaging tools: nothing is built, installed or fetched."""

import os
import subprocess
import tempfile
import unittest


def run(work, script, files, stand_ins, gone=()):
    """scripts/`script` run in a git checkout of `files` less `gone`, the stand-ins first on PATH:
    the finished process and what the stand-ins logged."""
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "scripts", script)) as source:
        files["scripts/" + script] = source.read()
    named = {"tree/" + name: text for name, text in files.items()}
    for name, text in dict(named, **{"bin/" + n: t for n, t in stand_ins.items()}).items():
        os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
        with open(os.path.join(work, name), "w") as file:
            file.write(text)
        os.chmod(os.path.join(work, name), 0o755)
    for command in ("init -q", "add .", "-c user.name=q -c user.email=q@q commit -qm scratch"):
        subprocess.run(["git", "-C", work + "/tree", *command.split()], check=True)
    for name in gone:
        os.remove(os.path.join(work, "tree", name))
    env = dict(os.environ, PATH=work + "/bin:" + os.environ["PATH"], LOG=work + "/log")
    done = subprocess.run(["bash", f"{work}/tree/scripts/{script}"], env=env, text=True,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    with open(env["LOG"], "a+") as log:
        log.seek(0)
        return done, log.read()


class ScriptsTest(unittest.TestCase):
    def test_the_test_command_and_the_package_script_on_what_they_cannot_have(self):
        with tempfile.TemporaryDirectory() as work:
            # Not root, no sudo at hand, no terminal: one line, at once; an unreadable
            # .clang-format fails the format check.
            done, asked = run(work, "test.sh", {
                "scripts/deps.sh": "echo deps\n", "scripts/models.sh": "", "a.cpp": "int a;\n",
                ".clang-format": "BasedOnStyle: [\n"}, {
                "id": '#!/bin/sh\n[ "$1" = -u ] && echo 1000 || exec /usr/bin/id "$@"\n',
                "sudo": '#!/bin/sh\necho "$*" >>"$LOG"\nexit 1\n'})
            lines = done.stdout.splitlines()
            self.assertRegex(lines[0], r"^== Debian 1[23]: skipped, its fresh root needs root")
            self.assertEqual((lines[1], asked), ("deps", "-n true\n"))
            self.assertIn(".clang-format", done.stdout)
            self.assertEqual((lines[-1], done.returncode), ("all presets: 0 passed, 1 failed", 1))
        with tempfile.TemporaryDirectory() as work:
            # A tracked file deleted from the tree is named, and the rest is packaged.
            done, built = run(work, "package.sh", {
                "CMakeLists.txt": "project(Quorvel VERSION 1.2.3)\n", "debian/control": "",
                "gone.txt": ""}, {
                "dpkg-query": "#!/bin/sh\necho 'install ok installed'\n",
                "dpkg-checkbuilddeps": "#!/bin/sh\n",
                "dpkg-buildpackage": '#!/bin/sh\nfind . -type f >"$LOG"\nexit 1\n'}, ["gone.txt"])
            self.assertIn("gone.txt is deleted", done.stderr)
            self.assertIn("./CMakeLists.txt", built.split())


if __name__ == "__main__":
    unittest.main()
