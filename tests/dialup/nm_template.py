# NetworkManager as Pim's dial-up tests need it: the stock dbusmock template,
# plus what it lacks: profiles of any kind, and activations and deactivations the
# test decides. The stock template brings every connection up at once and cannot
# take down one without a device.

import uuid

import dbus
import dbusmock
from dbusmock import MOCK_IFACE
from dbusmock.templates import networkmanager as nm
from dbusmock.templates.networkmanager import *  # noqa: F401,F403 (the stock mock methods)
from gi.repository import GLib

BUS_NAME = nm.BUS_NAME
MAIN_OBJ = nm.MAIN_OBJ
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

ACTIVE_IFACE = nm.ACTIVE_CONNECTION_IFACE
VPN_IFACE = 'org.freedesktop.NetworkManager.VPN.Connection'
ACTIVATING, ACTIVATED, DEACTIVATING, DEACTIVATED = 1, 2, 3, 4
VPN_NEED_AUTH, VPN_ACTIVATED = 3, 5

# activation: activate | fail | hang | refuse | authenticate
# deactivation: remove | stuck | refuse
MODES = {'activation': 'activate', 'deactivation': 'remove'}
COUNTER = [0]


def load(mock, parameters):
    nm.load(mock, parameters)
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    manager.activate_connection = activate
    manager.deactivate_connection = deactivate


def set_state(path, state):
    obj = dbusmock.get_object(path)
    obj.Set(ACTIVE_IFACE, 'State', dbus.UInt32(state))
    obj.EmitSignal(ACTIVE_IFACE, 'StateChanged', 'uu', [dbus.UInt32(state), dbus.UInt32(0)])


def add_active(manager, profile, state):
    COUNTER[0] += 1
    path = nm.AddActiveConnection(manager, [], profile, '/', 'pim' + str(COUNTER[0]), state)
    obj = dbusmock.get_object(path)
    if obj.Get(ACTIVE_IFACE, 'Vpn'):
        obj.AddProperties(VPN_IFACE, {'VpnState': dbus.UInt32(VPN_ACTIVATED if state == ACTIVATED else 1),
                                      'Banner': ''})
    return path


def remove_active(path):
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    active = manager.Get(nm.MANAGER_IFACE, 'ActiveConnections')
    if dbus.ObjectPath(path) not in active:
        return
    active.remove(dbus.ObjectPath(path))
    manager.SetProperty(nm.MANAGER_OBJ, nm.MANAGER_IFACE, 'ActiveConnections', active)
    manager.object_manager_emit_removed(path)
    manager.RemoveObject(path)


def later(milliseconds, action):
    GLib.timeout_add(milliseconds, lambda: action() and False)


def activate(self, profile, _device, _specific):
    mode = MODES['activation']
    if mode == 'refuse':
        raise dbus.exceptions.DBusException('refused by the test',
                                            name='org.freedesktop.NetworkManager.UnknownConnection')
    path = add_active(self, profile, ACTIVATED if mode == 'activate' else ACTIVATING)
    if mode == 'fail':
        later(150, lambda: set_state(path, DEACTIVATED))
        later(200, lambda: remove_active(path))
    elif mode == 'authenticate':
        dbusmock.get_object(path).Set(VPN_IFACE, 'VpnState', dbus.UInt32(VPN_NEED_AUTH))

        def authenticated():
            dbusmock.get_object(path).Set(VPN_IFACE, 'VpnState', dbus.UInt32(VPN_ACTIVATED))
            set_state(path, ACTIVATED)
        later(400, authenticated)
    return dbus.ObjectPath(path)


def deactivate(_self, path):
    mode = MODES['deactivation']
    if mode == 'refuse':
        raise dbus.exceptions.DBusException('refused by the test',
                                            name='org.freedesktop.NetworkManager.ConnectionNotActive')
    if mode == 'stuck':
        set_state(path, DEACTIVATING)
        return
    set_state(path, DEACTIVATED)
    remove_active(path)


# What ActivateConnection and DeactivateConnection do from now on.
@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def SetBehaviour(_self, what, mode):
    MODES[str(what)] = str(mode)


# A connection profile of any kind; returns its path.
@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='s')
def AddProfile(self, name, kind):
    settings = dbus.Dictionary({'connection': dbus.Dictionary(
        {'id': name, 'type': kind, 'uuid': str(uuid.uuid4())}, signature='sv')}, signature='sa{sv}')
    return dbusmock.get_object(nm.SETTINGS_OBJ).SettingsAddConnection(settings)


# Another program brings a profile up (or half up); returns the active path.
@dbus.service.method(MOCK_IFACE, in_signature='su', out_signature='s')
def ActivateElsewhere(_self, profile, state):
    return add_active(dbusmock.get_object(nm.MANAGER_OBJ), profile, state)


# An active connection goes away (the line dropped, another program hung up).
@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def DropActive(_self, path):
    set_state(path, DEACTIVATED)
    remove_active(path)
