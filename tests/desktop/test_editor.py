#!/usr/bin/env python3
"""A project added with the editor and run with Backup Now, all through the
accessibility bus as a screen reader user would.

    test_editor.py PROGRAM
"""

import os
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
import harness  # noqa: E402
from harness import check, wait_until


def by_name(role, name):
    return lambda a: a.getRole() == role and a.name.replace("&", "") == name


def set_text(d, root, name, text):
    import pyatspi
    box = d.find_accessible(by_name(pyatspi.ROLE_TEXT, name), f"the text box {name!r}", root=root)
    box.queryEditableText().setTextContents(text)
    wait_until(lambda: box.queryText().getText(0, -1) == text, f"{name!r} to read {text!r}")


def table_rows(table):
    """The cells' texts, row by row."""
    t = table.queryTable()
    return [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]


def add_and_run(d):
    import pyatspi
    source = os.path.join(d.root, "src")
    os.makedirs(os.path.join(source, "sub"))
    with open(os.path.join(source, "sub", "b.txt"), "w") as f:
        f.write("beta")
    destination = os.path.join(d.root, "dst")
    os.makedirs(destination)
    d.write_settings(LastCheckUpdate=time.strftime("%Y-%m-%d"))
    d.start_program()
    d.wait_window("shown", "the window at start")

    d.press(d.find_accessible(by_name(pyatspi.ROLE_PUSH_BUTTON, "Add"), "the toolbar's Add"))
    editor = d.message_box("Add new project")
    set_text(d, editor, "Project name:", "Docs")
    set_text(d, editor, "Source directory:", source)
    set_text(d, editor, "Destination directory:", destination)
    d.answer(editor, "Save")
    wait_until(lambda: "Docs|" in d.read(d.data, "Sentrel.prj") if os.path.exists(
        os.path.join(d.data, "Sentrel.prj")) else False, "the project list file with the new project")

    projects = d.find_accessible(lambda a: a.name == "Projects" and a.getRole() in (
        pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE), "the project list")
    wait_until(lambda: any(row and row[0] == "Docs" for row in table_rows(projects)), "the project's row")
    projects.queryTable().addRowSelection(0)

    d.click(d.find_accessible(by_name(pyatspi.ROLE_PUSH_BUTTON, "Backup Now"), "the toolbar's Backup Now"))
    d.answer(d.message_box("Sentrel"), "Yes")

    tab = d.find_accessible(by_name(pyatspi.ROLE_PAGE_TAB, "Today's tasks"), "the tab Today's tasks")
    d.click(tab)
    tasks = d.find_accessible(lambda a: a.name == "Today's tasks" and a.getRole() in (
        pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE), "the task list")
    wait_until(lambda: any(row and row[0] == "Docs" and "Backup finished." in row for row in table_rows(tasks)),
               "the task row ending in Backup finished.")
    check(d.read(destination, "sub", "b.txt") == "beta", "the file was not copied")

    d.proc.terminate()
    check(d.wait_exit() == 0, "SIGTERM did not end the program cleanly")
    log = d.log_text()
    check("Docs" in log and "Backup finished" in log, f"no finished backup in the log:\n{log}")


if __name__ == "__main__":
    harness.main([(add_and_run, "sni", False, ())])
