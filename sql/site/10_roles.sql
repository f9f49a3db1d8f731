-- What the application's database needs before its objects: text in UTF-8,
-- no one else creating objects in it, and the group role of its users.
-- Every step may run again on a database that has it already, and the whole
-- of sql/site runs as one transaction (psql -1): a failure leaves nothing
-- half done.

-- The container speaks UTF-8; a SQL_ASCII database would store whatever
-- bytes come and give them back unchecked.
DO $$
BEGIN
  IF current_setting('server_encoding') <> 'UTF8' THEN
    RAISE EXCEPTION 'la base % n''est pas en UTF8 : la recréer avec ENCODING ''UTF8''', current_database();
  END IF;
END
$$;

-- Server versions before 15 let every role create objects in "public", where
-- a user could place a function of the same name ahead of ours.
DO $$
BEGIN
  IF to_regnamespace('public') IS NOT NULL THEN
    REVOKE CREATE ON SCHEMA public FROM PUBLIC;
  END IF;
END
$$;

-- Functions and procedures that the installing role creates from here on are
-- not callable by everyone (the server's default): each is granted to the
-- group, as the site's own are.
ALTER DEFAULT PRIVILEGES REVOKE EXECUTE ON ROUTINES FROM PUBLIC;

-- The group role of the application's users: the logon check refuses any
-- role that is not a member of it. The site grants it to each user's login
-- role (GRANT kup_utilisateur TO dupont); no login role is made here.
-- Roles belong to the whole server: a second database of the same server
-- (a training copy, say) finds the group already there and keeps it.
DO $$
BEGIN
  CREATE ROLE kup_utilisateur NOLOGIN;
EXCEPTION WHEN duplicate_object THEN
  RAISE NOTICE 'le rôle kup_utilisateur existe déjà : conservé';
END
$$;
