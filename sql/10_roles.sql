-- Roles of the throw-away cluster. Application users are login roles that
-- belong to kup_utilisateur; the logon check refuses any other role.
CREATE ROLE kup_utilisateur NOLOGIN;

-- The user of the sample session (its single-sign-on pair is dupont/secret).
CREATE ROLE dupont LOGIN PASSWORD 'secret' IN ROLE kup_utilisateur;

-- The users of the tests: one application user, one role that may log on to
-- the server but is not an application user.
CREATE ROLE kup_test LOGIN PASSWORD 'kup_test_mdp' IN ROLE kup_utilisateur;
CREATE ROLE kup_intrus LOGIN PASSWORD 'kup_intrus_mdp';

REVOKE ALL ON SCHEMA public FROM PUBLIC;
