use [gisdata]
go
/****** object:  storedprocedure [dbo].[sp_msins_aractcus_base]    script date: 2021-07-10 1:50:50 pm ******/
set ansi_nulls on
go
set quoted_identifier on
go
IF object_id('dbo.[sp_msins_aractcus_base]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_aractcus_base]
GO
---------------------------
create procedure [dbo].[sp_msins_aractcus_base] @c1 binary(8),@c2 varchar(12),@c3 int

as
begin


insert into "aractcus_base"( 
"timestamp", "customer_code", "date_applied"
 )

values ( 
@c1, @c2, @c3
 )

end
go
use [gisdata]
go
/****** object:  storedprocedure [dbo].[sp_msins_armaster_base]    script date: 2021-07-10 1:50:50 pm ******/
set ansi_nulls on
go
set quoted_identifier on
go
/****** Object:  StoredProcedure [dbo].[ sp_msins_armaster_base ] ******/
 
IF object_id('dbo.[sp_msins_armaster_base]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_armaster_base]
GO
---------------------------
create procedure [dbo].[sp_msins_armaster_base] @c1 binary(8),@c2 varchar(12),@c3 smallint

as
begin


	set identity_insert  armaster_base ON

insert into "armaster_base"( 
"timestamp", "customer_code", "address_type"
 )

values ( 
@c1, @c2, @c3
 )

	set identity_insert  armaster_base OFF

end
go
