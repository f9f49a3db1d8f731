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
