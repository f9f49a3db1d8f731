-- The group role of the application's users: the logon check refuses any
-- role that is not a member of it. The site grants it to each user's login
-- role (GRANT kup_utilisateur TO dupont); no login role is made here.
CREATE ROLE kup_utilisateur NOLOGIN;
