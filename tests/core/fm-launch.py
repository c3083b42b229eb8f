#!/usr/bin/python3
"""Starts one of our menu entries the way a file manager does, through GLib's
own desktop-entry launcher, command-line parser and quoting where the file
manager uses them.

fm-launch.py MANAGER ENTRY-FILE ACTION-ID PATH...

MANAGER "nemo-shown" runs no entry: its status says whether Nemo's
conditions let the action show for the paths (0 shown, 1 hidden).

Paths are taken byte for byte (any name a file system allows). The script
waits for the started program and exits with its status.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

import gi

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402


def wait_for(app, uris, context):
    pids = []
    app.launch_uris_as_manager(uris, context, GLib.SpawnFlags.DO_NOT_REAP_CHILD, None, None,
                               lambda _app, pid, _data: pids.append(pid), None)
    status = 0
    for pid in pids:
        _, raw = os.waitpid(pid, 0)
        status = os.waitstatus_to_exitcode(raw)
    return status


def key_file(path):
    keys = GLib.KeyFile()
    keys.load_from_file(path, GLib.KeyFileFlags.NONE)
    return keys


def expand_shell_style(command, paths, quote):
    # %F becomes every path quoted for the shell, %% one percent sign.
    out = []
    i = 0
    while i < len(command):
        if command[i] == "%" and i + 1 < len(command):
            code = command[i + 1]
            if code == "F":
                out.append(" ".join(quote(p) for p in paths))
            elif code == "%":
                out.append("%")
            i += 2
        else:
            out.append(command[i])
            i += 1
    return "".join(out)


def nemo_quote(path):
    # Nemo's Quote=single: the path in single quotes, each quote closed and escaped.
    return "'" + path.replace("'", "'\\''") + "'"


def run_argv(argv):
    return subprocess.run([os.fsencode(a) for a in argv]).returncode


def main():
    manager, entry, action = sys.argv[1], sys.argv[2], sys.argv[3]
    paths = sys.argv[4:]
    if manager == "dolphin":
        # The service menu's Exec, run by GLib's implementation of the
        # desktop-entry rules Dolphin follows.
        exec_value = key_file(entry).get_value("Desktop Action " + action, "Exec")
        app_keys = GLib.KeyFile()
        app_keys.set_string("Desktop Entry", "Type", "Application")
        app_keys.set_string("Desktop Entry", "Name", "entry")
        app_keys.set_value("Desktop Entry", "Exec", exec_value)
        app = Gio.DesktopAppInfo.new_from_keyfile(app_keys)
        uris = [Gio.File.new_for_path(p).get_uri() for p in paths]
        return wait_for(app, uris, None)
    if manager == "nautilus":
        # What GNOME Files does for a script: the names shown, quoted, after
        # the script's path, through GLib's command-line app info (which
        # expands % codes inside the names), in the folder shown, with the
        # selection in the environment.
        folder = os.path.dirname(paths[0]) if paths else "/"
        names = [os.path.basename(p) for p in paths]
        command = " ".join([GLib.shell_quote(entry)] + [GLib.shell_quote(n) for n in names])
        app = Gio.AppInfo.create_from_commandline(command, None, Gio.AppInfoCreateFlags.NONE)
        context = Gio.AppLaunchContext()
        context.setenv("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS", "".join(p + "\n" for p in paths))
        context.setenv("NAUTILUS_SCRIPT_SELECTED_URIS",
                       "".join(Gio.File.new_for_path(p).get_uri() + "\n" for p in paths))
        for name, value in os.environ.items():
            context.setenv(name, value)
        os.chdir(folder)
        return wait_for(app, [], context)
    if manager == "nemo":
        command = key_file(entry).get_string("Nemo Action", "Exec")
        return run_argv(GLib.shell_parse_argv(expand_shell_style(command, paths, nemo_quote))[1])
    if manager == "nemo-shown":
        # Whether Nemo shows the action for the selection: every "exec"
        # condition, with %F expanded as in Exec, split without a shell,
        # must end with status 0.
        try:
            conditions = key_file(entry).get_string_list("Nemo Action", "Conditions")
        except GLib.Error:
            conditions = []
        for condition in conditions:
            if condition.startswith("exec "):
                argv = GLib.shell_parse_argv(expand_shell_style(condition[5:], paths, nemo_quote))[1]
                if run_argv(argv) != 0:
                    return 1
        return 0
    if manager == "thunar":
        for item in ET.parse(entry).getroot().iter("action"):
            if item.findtext("unique-id") == action:
                command = item.findtext("command")
                return run_argv(GLib.shell_parse_argv(expand_shell_style(command, paths, GLib.shell_quote))[1])
        print("no action " + action, file=sys.stderr)
        return 2
    if manager == "pcmanfm":
        command = key_file(entry).get_string("X-Action-Profile zqv", "Exec")
        return run_argv(GLib.shell_parse_argv(expand_shell_style(command, paths, GLib.shell_quote))[1])
    print("unknown file manager " + manager, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
