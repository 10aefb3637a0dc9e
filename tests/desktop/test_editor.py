#!/usr/bin/env python3
"""A project added with the editor and run with Backup Now, and a file
brought back from a kept version, all through the accessibility bus as a
screen reader user would.

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


def restore_a_version(d):
    import pyatspi
    source = os.path.join(d.root, "src")
    destination = os.path.join(d.root, "dst")
    version = os.path.join(destination, ".sentrel-versions", "2026-03-02 09.00.05")
    for folder in (source, version):
        os.makedirs(folder)
    for folder, text, mtime in ((source, "saved over by mistake", 3000), (destination, "backed up", 2000),
                                (version, "yesterday's report", 1000)):
        path = os.path.join(folder, "report.txt")
        with open(path, "w") as f:
            f.write(text)
        os.utime(path, (mtime, mtime))
    d.write_projects(f"Docs|Daily|{source}|{destination}|Yes|12:00|Old|Every day|")
    d.write_settings(LastCheckUpdate=time.strftime("%Y-%m-%d"))
    d.start_program()
    d.wait_window("shown", "the window at start")

    projects = d.find_accessible(lambda a: a.name == "Projects" and a.getRole() in (
        pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE), "the project list")
    wait_until(lambda: any(row and row[0] == "Docs" for row in table_rows(projects)), "the project's row")
    projects.queryTable().addRowSelection(0)
    # A tool button shows its command without the dots.
    d.click(d.find_accessible(by_name(pyatspi.ROLE_PUSH_BUTTON, "Restore"), "the toolbar's Restore..."))
    dialog = d.message_box("Restore - Docs")

    cell = lambda name: lambda a: a.name == name and a.getRole() in (
        pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_TREE_ITEM, pyatspi.ROLE_LIST_ITEM)
    d.click(d.find_accessible(cell("report.txt"), "the file in the backup", root=dialog))
    copies = d.find_accessible(lambda a: a.name == "Copies" and a.getRole() in (
        pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE), "the list of copies", root=dialog)
    wait_until(lambda: table_rows(copies) == [["Backup copy", "9 bytes"], ["2026-03-02 09:00:05", "18 bytes"]],
               "the backup copy and the kept version")
    d.click(d.find_accessible(cell("2026-03-02 09:00:05"), "the kept version", root=dialog))
    d.click(d.find_accessible(by_name(pyatspi.ROLE_PUSH_BUTTON, "Restore"), "the Restore button", root=dialog))

    # The source's file is newer than the version: asked first.
    question = d.message_box("Sentrel")
    text = d.find_accessible(lambda a: "is newer than the copy in the backup" in a.name, "the question's text",
                             root=question).name
    check(os.path.join(source, "report.txt") in text, f"the question names another file: {text!r}")
    d.answer(question, "Yes")
    wait_until(lambda: d.read(source, "report.txt") == "yesterday's report", "the version back in the source")
    check(os.stat(os.path.join(source, "report.txt")).st_mtime == 1000, "the version's time was not kept")
    check(sorted(os.listdir(source)) == ["report.txt"], f"left behind: {os.listdir(source)}")

    d.proc.terminate()
    check(d.wait_exit() == 0, "SIGTERM did not end the program cleanly")


if __name__ == "__main__":
    harness.main([(add_and_run, "sni", False, ()), (restore_a_version, "sni", False, ())])
