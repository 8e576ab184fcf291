# GNOME Online Accounts: -p '{"accounts": [{id, provider, identity, host, ssl, tls, user, address,
# imap, mailDisabled, and token ("" refused, "!" fails) or password}]}'; AddAccount(JSON) adds one.
import json

import dbus
from dbusmock import mockobject

BUS_NAME = 'org.gnome.OnlineAccounts'
MAIN_OBJ = '/org/gnome/OnlineAccounts'
MAIN_IFACE = 'org.gnome.OnlineAccounts.Manager'
SYSTEM_BUS = False
IS_OBJECT_MANAGER = True

PREFIX = 'org.gnome.OnlineAccounts.'


def add(mock, a):
    path = MAIN_OBJ + '/Accounts/' + a['id']
    mock.AddObject(path, PREFIX + 'Account', {
        'Id': a['id'], 'ProviderName': a.get('provider', 'IMAP and SMTP'),
        'PresentationIdentity': a.get('identity', a['id']),
        'MailDisabled': dbus.Boolean(a.get('mailDisabled', False))},
        [('EnsureCredentials', '', 'i', 'ret = 3600')])
    obj = mockobject.objects[path]
    obj.props[PREFIX + 'Mail'] = {
        'EmailAddress': a.get('address', ''), 'ImapSupported': dbus.Boolean(a.get('imap', True)),
        'ImapHost': a.get('host', ''), 'ImapUserName': a.get('user', ''),
        'ImapUseSsl': dbus.Boolean(a.get('ssl', False)),
        'ImapUseTls': dbus.Boolean(a.get('tls', False))}
    if 'token' in a:
        obj.props[PREFIX + 'OAuth2Based'] = {'ClientId': '', 'ClientSecret': ''}
        error = "raise dbus.exceptions.DBusException('no', name='%s')" % (
            'org.freedesktop.DBus.Error.Failed' if a['token'] == '!' else
            'org.gnome.OnlineAccounts.Error.NotAuthorized')
        code = ("ret = (%r, 3600)" % a['token']) if a['token'] not in ('', '!') else error
        obj.AddMethod(PREFIX + 'OAuth2Based', 'GetAccessToken', '', 'si', code)
    else:
        obj.props[PREFIX + 'PasswordBased'] = dbus.Dictionary({}, signature='sv')
        obj.AddMethod(PREFIX + 'PasswordBased', 'GetPassword', 's', 's',
                      "ret = %r if args[0] == 'imap-password' else ''" % a.get('password', ''))
    mock.object_manager_emit_added(path)


def load(mock, parameters):
    for a in parameters.get('accounts', []):
        add(mock, a)
    mock.AddMethod(MAIN_IFACE, 'AddAccount', 's', '', 'self.add_account(args[0])')
    mock.add_account = lambda text: add(mock, json.loads(text))
